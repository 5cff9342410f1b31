// The Wireshark dissector over crafted captures: every field of every message in the words of
// the device tree, the expert infos for what is wrong, and no Lua error whatever the bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>

#include "tests/wireshark/TShark.h"

namespace {

using wireshark_support::Payload;

Payload Text(std::string_view text) {
    return Payload(text.begin(), text.end());
}

Payload Cat(std::initializer_list<Payload> parts) {
    Payload out;
    for (const Payload& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Payload Filled(std::size_t count, std::uint8_t value) {
    return Payload(count, value);
}

// A node's reply: MAC 02:AA:BB:CC:DD:EE, type 12 34, version 3, switches 0x80, name
// "LabNode", options 0x06, TOS 2, TTL 0x20, listening to class C at 10.1.2.255, universe
// byte 7.
const Payload kReply{'V',  'X',  'P',  'R',  0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x12,
                     0x34, 0x03, 0x80, 'L',  'a',  'b',  'N',  'o',  'd',  'e',  0,
                     0,    0,    0x06, 0x02, 0x20, 0x01, 10,   1,    2,    255,  7};

Payload ReplyWith(std::initializer_list<std::pair<std::size_t, std::uint8_t>> changes) {
    Payload reply = kReply;
    for (const auto& [offset, value] : changes) reply[offset] = value;
    return reply;
}

struct Case {
    const char* what;
    Payload payload;
    std::vector<std::string> lines;        // each must be a line of the frame, indentation off
    std::vector<std::string> absent = {};  // no line of the frame may contain one of these
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases{
        {"poll",
         Text("VXPP\x01"),
         {"PraveltTest Node Protocol, Poll (VXPP)", "Message Code: VXPP", "Poll Byte: 0x01"},
         {"Expert Info"}},
        {"poll with a byte other than 1",
         Text("VXPP\x02"),
         {"Poll Byte: 0x02", "[Expert Info (Warning/Protocol): A poll carries 0x01 here]"}},
        {"poll cut short",
         Text("VXPP"),
         {"[Expert Info (Error/Malformed): Datagram shorter than its message: 4 bytes, a poll "
          "needs 5]"},
         {"Poll Byte"}},
        {"reply",
         kReply,
         {"PraveltTest Node Protocol, Poll reply (VXPR), Node Name: LabNode",
          "[IP Address: 10.1.2.20]", "MAC Address: 02 AA BB CC DD EE", "Node Type: 1234",
          "Version: 03", "Switch Settings: 80", "Node Name: LabNode",
          "Options: Enable DHCP, Enable Error Correction", ".... ...0 = Node is configured: False",
          "Type of Service: 02", "Packet TTL: 20", "Listen to: Class C Broadcast",
          "Listen IP Address: 10.1.2.255", "DMX Universe: 8 (3585-4096)"},
         {"Expert Info", "Ignored"}},
        {"reply with a full name, options 3, plain broadcast, universe byte 0",
         ReplyWith({{14, 'A'},
                    {15, 'B'},
                    {16, 'C'},
                    {17, 'D'},
                    {18, 'E'},
                    {19, 'F'},
                    {20, 'G'},
                    {21, 'H'},
                    {22, 'I'},
                    {23, 'J'},
                    {24, 0x03},
                    {27, 0},
                    {32, 0}}),
         {"Node Name: ABCDEFGHIJ", "Options: Node is configured, Enable DHCP, ",
          "Listen to: Broadcast", "DMX Universe: 1 (1-512)"}},
        {"reply with a Latin-1 name, no options, listen byte 0xFF, universe byte 255, extra "
         "bytes",
         Cat({ReplyWith({{14, 'B'},
                         {15, 0xFC},
                         {16, 'h'},
                         {17, 'n'},
                         {18, 'e'},
                         {19, 0},
                         {24, 0x00},
                         {27, 0xFF},
                         {32, 0xFF}}),
              Payload{0xDE, 0xAD}}),
         {"Node Name: B\xC3\xBChne", "Options: ", "Listen to: Class C Broadcast",
          "DMX Universe: 256 (130561-131072)", "Ignored Bytes: dead (beyond the message)"},
         {"Expert Info"}},
        {"reply with an empty name",
         ReplyWith({{14, 0}, {24, 0x07}}),
         {"PraveltTest Node Protocol, Poll reply (VXPR), Node Name: ", "Node Name: ",
          "Options: Node is configured, Enable DHCP, Enable Error Correction"}},
        {"reply one byte short",
         Payload(kReply.begin(), kReply.end() - 1),
         {"[Expert Info (Error/Malformed): Datagram shorter than its message: 32 bytes, a poll "
          "reply needs 33]"},
         {"MAC Address"}},
        {"DMX data, raw",
         Payload{'V', 'X', 'D', 'D', 11, 0, 1, 0, 3, 128, 128, 128, 0},
         {"PraveltTest Node Protocol, DMX data (VXDD)", "Universe: 12 (byte 11)", "Start Code: 0",
          "Data Type: Raw (1)", "Channel Count: 3", "Levels: 3 channels, all 128", "Channel 1: 128",
          "Channel 3: 128", "Trailer: 0"},
         {"Expert Info", "Channel 4"}},
        {"DMX data, run-length encoded, start code 0xCC, universe byte 255",
         Payload{'V', 'X', 'D', 'D', 255, 0xCC, 4, 0, 2, 0, 255, 0},
         {"Universe: 256 (byte 255)", "Start Code: 204", "Data Type: Run-length encoded (4)",
          "Levels: 2 channels, 0 to 255", "Channel 1: 0", "Channel 2: 255"},
         {"Expert Info"}},
        {"DMX data, channel/value pairs",
         Payload{'V', 'X', 'D', 'D', 0, 0, 2, 0, 1, 9, 0},
         {"Data Type: Channel/value pairs (2)"},
         {"Expert Info"}},
        {"DMX data, zero type",
         Payload{'V', 'X', 'D', 'D', 0, 0, 0, 0, 1, 9, 0},
         {"Data Type: Zero (invalid) (0)"},
         {"Expert Info"}},
        {"DMX data, unknown type",
         Payload{'V', 'X', 'D', 'D', 0, 0, 9, 0, 1, 9, 0},
         {"Data Type: Unknown (9)", "[Expert Info (Warning/Protocol): Unknown data type]"}},
        {"DMX data, 512 channels",
         Cat({Payload{'V', 'X', 'D', 'D', 0, 0, 1, 0x02, 0x00}, Filled(512, 255), Payload{0}}),
         {"Channel Count: 512", "Levels: 512 channels, all 255", "Channel 512: 255", "Trailer: 0"},
         {"Expert Info"}},
        {"DMX data, count above the length",
         Payload{'V', 'X', 'D', 'D', 0, 0, 1, 0, 5, 1, 2, 0},
         {"[Expert Info (Error/Malformed): Channel count 5 needs a datagram of 15 bytes; this "
          "one has 12]",
          "Levels: 3 channels, 0 to 2"},
         {"Trailer"}},
        {"DMX data, count below the length",
         Payload{'V', 'X', 'D', 'D', 0, 0, 1, 0, 1, 7, 0, 3, 4},
         {"[Expert Info (Error/Malformed): Channel count 1 needs a datagram of 11 bytes; this "
          "one has 13]",
          "Trailer: 0", "Ignored Bytes: 0304 (beyond the message)"}},
        {"DMX data, count 0",
         Payload{'V', 'X', 'D', 'D', 0, 0, 1, 0, 0, 0},
         {"Channel Count: 0", "[Expert Info (Warning/Protocol): A channel count is 1 to 512]"},
         {"needs a datagram"}},
        {"DMX data, trailer not 0",
         Payload{'V', 'X', 'D', 'D', 0, 0, 1, 0, 1, 9, 7},
         {"Trailer: 7", "[Expert Info (Warning/Protocol): The trailer is always 0]"}},
        {"DMX data, header cut short",
         Payload{'V', 'X', 'D', 'D', 0, 0, 1, 0},
         {"[Expert Info (Error/Malformed): Datagram shorter than its message: 8 bytes, a DMX "
          "data message needs 11]"},
         {"Universe"}},
        {"two bytes",
         Text("VX"),
         {"[Expert Info (Error/Malformed): Datagram shorter than its message: 2 bytes, a "
          "message code needs 4]"}},
        {"one byte",
         Payload{0},
         {"[Expert Info (Error/Malformed): Datagram shorter than its message: 1 bytes, a "
          "message code needs 4]"}},
        {"unknown code",
         Text("ABCD"),
         {"Message Code: ABCD", "[Expert Info (Warning/Protocol): Unknown message code 'ABCD']"}},
        {"unknown code in lower case",
         Text("vxpp\x01"),
         {"[Expert Info (Warning/Protocol): Unknown message code 'vxpp']"}},
        {"unknown code with control bytes",
         Payload{0, 1, 'V', 'X', 0xFF},
         {"[Expert Info (Warning/Protocol): Unknown message code '\\x00\\x01VX']"}},
        {"VXAP",
         Text("VXAP"),
         {"PraveltTest Node Protocol, Unexpected message (VXAP)",
          "[Expert Info (Note/Sequence): 'VXAP': a message the program does not expect to "
          "receive]"}},
        {"VXZZ",
         Text("VXZZ"),
         {"[Expert Info (Note/Sequence): 'VXZZ': a message the program does not expect to "
          "receive]"}},
        {"XVCN",
         Text("XVCN"),
         {"PraveltTest Node Protocol, Message never to be seen (legacy code) (XVCN)",
          "[Expert Info (Note/Sequence): 'XVCN': a message the program does not expect to "
          "receive]"}},
        {"600 bytes",
         Cat({Text("VXAP"), Filled(596, 'x')}),
         {"[Datagram Length: 600]"},
         {"over 600"}},
        {"601 bytes",
         Cat({Text("VXAP"), Filled(597, 'x')}),
         {"[Datagram Length: 601]",
          "[Expert Info (Warning/Protocol): Datagram of 601 bytes, over 600: the program drops "
          "it unread]"}},
        {"oversized DMX data",
         Cat({Payload{'V', 'X', 'D', 'D', 0, 0, 1, 0x02, 0x00}, Filled(691, 1)}),
         {"[Expert Info (Warning/Protocol): Datagram of 700 bytes, over 600: the program drops "
          "it unread]",
          "[Expert Info (Error/Malformed): Channel count 512 needs a datagram of 522 bytes; "
          "this one has 700]"}},
        {"oversized, unknown code",
         Cat({Text("QQQQ"), Filled(1396, 0)}),
         {"[Expert Info (Warning/Protocol): Datagram of 1400 bytes, over 600: the program drops "
          "it unread]",
          "[Expert Info (Warning/Protocol): Unknown message code 'QQQQ']"}},
    };
    return cases;
}

void ExpectNoDissectorFault(const std::string& text) {
    EXPECT_EQ(text.find("Lua Error"), std::string::npos) << text;
    EXPECT_EQ(text.find("[Malformed Packet"), std::string::npos) << text;
    EXPECT_EQ(text.find("Dissector bug"), std::string::npos) << text;
}

TEST(Dissector, DecodesEveryFieldAndFlagsWhatIsWrong) {
    REQUIRE_TSHARK();
    wireshark_support::ScratchDirectory scratch;
    std::vector<Payload> payloads;
    for (const Case& c : Cases()) payloads.push_back(c.payload);
    const std::string capture = scratch.File("crafted.pcap");
    wireshark_support::WriteUdpCapture(payloads, capture, scratch);

    const auto decoded = wireshark_support::Decode(capture, scratch);
    ExpectNoDissectorFault(decoded.text + decoded.errors);
    ASSERT_EQ(decoded.frames.size(), Cases().size()) << decoded.text;
    for (std::size_t i = 0; i < Cases().size(); ++i) {
        const Case& c = Cases()[i];
        SCOPED_TRACE(c.what);
        const auto lines = wireshark_support::Lines(decoded.frames[i]);
        for (const std::string& expected : c.lines) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end())
                << "no line \"" << expected << "\" in\n"
                << decoded.frames[i];
        }
        for (const std::string& unwanted : c.absent) {
            EXPECT_EQ(decoded.frames[i].find(unwanted), std::string::npos)
                << "\"" << unwanted << "\" in\n"
                << decoded.frames[i];
        }
    }
}

// The fields carry their values for display filters and -T fields, not only the row texts.
TEST(Dissector, FieldsCanBeFilteredAndPrinted) {
    REQUIRE_TSHARK();
    wireshark_support::ScratchDirectory scratch;
    const std::string capture = scratch.File("fields.pcap");
    wireshark_support::WriteUdpCapture(
        {Text("VXPP\x01"), kReply, Payload{'V', 'X', 'D', 'D', 11, 0, 4, 0, 2, 64, 64, 0}}, capture,
        scratch);

    const auto decoded =
        wireshark_support::Decode(capture, scratch, {"-T", "fields",
                                                     "-E", "separator=|",
                                                     "-e", "praveltest.code",
                                                     "-e", "praveltest.reply.name",
                                                     "-e", "praveltest.reply.mac",
                                                     "-e", "praveltest.reply.listen_ip",
                                                     "-e", "praveltest.reply.universe",
                                                     "-e", "praveltest.dmx.universe",
                                                     "-e", "praveltest.dmx.data_type",
                                                     "-e", "praveltest.dmx.channels"});
    EXPECT_EQ(decoded.text,
              "VXPP|||||||\n"
              "VXPR|LabNode|02:aa:bb:cc:dd:ee|10.1.2.255|7|||\n"
              "VXDD|||||11|4|2\n");

    const auto replies =
        wireshark_support::Decode(capture, scratch,
                                  {"-Y", "praveltest.code == \"VXPR\"", "-T", "fields", "-e",
                                   "praveltest.reply.name", "-e", "praveltest.reply.mac"});
    EXPECT_EQ(replies.text, "LabNode\t02:aa:bb:cc:dd:ee\n");
}

// Whatever arrives on the port, the dissector flags it and never fails: a fixed run of
// datagrams of every length up to 700, half of them behind a known code.
TEST(Dissector, RandomBytesNeverRaiseALuaError) {
    REQUIRE_TSHARK();
    const std::vector<Payload> codes{Text("VXPP"), Text("VXPR"), Text("VXDD"),
                                     Text("VXAP"), Text("VXZZ"), Text("XVCN")};
    std::mt19937 random(20261208);
    std::vector<Payload> payloads;
    for (int i = 0; i < 400; ++i) {
        Payload payload(1 + random() % 700);
        for (auto& byte : payload) byte = static_cast<std::uint8_t>(random());
        if (i % 2 == 0) {
            const Payload& code = codes[random() % codes.size()];
            std::copy_n(code.begin(), std::min(code.size(), payload.size()), payload.begin());
        }
        payloads.push_back(std::move(payload));
    }
    wireshark_support::ScratchDirectory scratch;
    const std::string capture = scratch.File("random.pcap");
    wireshark_support::WriteUdpCapture(payloads, capture, scratch);

    const auto decoded = wireshark_support::Decode(capture, scratch);
    ExpectNoDissectorFault(decoded.text + decoded.errors);
    EXPECT_EQ(decoded.frames.size(), 400u);
    const auto lines = wireshark_support::Lines(decoded.text);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.rfind("PraveltTest Node Protocol", 0) == 0;
                            }),
              400);
}

// A UDP datagram with no payload at all: Wireshark may not hand it over, but nothing fails.
TEST(Dissector, AnEmptyDatagramRaisesNoError) {
    REQUIRE_TSHARK();
    // Ethernet broadcast, IPv4 10.1.2.20 to 10.1.2.255, UDP 3333 to 3333 with length 8.
    const Payload frame{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00, 0x00,
                        0x01, 0x08, 0x00, 0x45, 0x00, 0x00, 0x1C, 0x00, 0x01, 0x00, 0x00,
                        0x40, 0x11, 0x00, 0x00, 10,   1,    2,    20,   10,   1,    2,
                        255,  0x0D, 0x05, 0x0D, 0x05, 0x00, 0x08, 0x00, 0x00};
    wireshark_support::ScratchDirectory scratch;
    const std::string capture = scratch.File("empty.pcap");
    wireshark_support::WriteFrameCapture({frame}, capture, scratch);

    const auto decoded = wireshark_support::Decode(capture, scratch);
    ExpectNoDissectorFault(decoded.text + decoded.errors);
    ASSERT_EQ(decoded.frames.size(), 1u);
    EXPECT_NE(decoded.frames[0].find("Src Port: 3333, Dst Port: 3333"), std::string::npos)
        << decoded.frames[0];
}

}  // namespace
