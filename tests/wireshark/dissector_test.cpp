// The Wireshark dissector over crafted captures: every field of every message in the words of
// the device tree, the expert infos for what is wrong, and no Lua error whatever the bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>

#include "tests/wireshark/TShark.h"

namespace {

using wireshark_support::Payload;
using Lines = std::vector<std::string>;

Payload Text(std::string_view text) {
    return Payload(text.begin(), text.end());
}

Payload Cat(std::initializer_list<Payload> parts) {
    Payload out;
    for (const Payload& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A node's reply: MAC 02:AA:BB:CC:DD:EE, type 12 34, version 3, switches 0x80, TOS 2, TTL 0x20,
// listen address 10.1.2.255; the rest as given.
Payload Reply(std::string_view name, std::uint8_t options, std::uint8_t listenTo,
              std::uint8_t universe) {
    Payload reply = Cat(
        {Text("VXPR"), {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x12, 0x34, 0x03, 0x80}, Text(name)});
    reply.resize(24, 0);
    return Cat({reply, {options, 0x02, 0x20, listenTo, 10, 1, 2, 255, universe}});
}

const Payload kReply = Reply("LabNode", 0x06, 0x01, 7);

Payload Dmx(std::initializer_list<std::uint8_t> header, std::size_t count, std::uint8_t level,
            Payload tail) {
    return Cat({Text("VXDD"), header, Payload(count, level), tail});
}

std::string Short(const std::string& what) {
    return "[Expert Info (Error/Malformed): Datagram shorter than its message: " + what + "]";
}

std::string Warning(const std::string& what) {
    return "[Expert Info (Warning/Protocol): " + what + "]";
}

std::string Unexpected(const std::string& code) {
    return "[Expert Info (Note/Sequence): '" + code +
           "': a message the program does not expect to receive]";
}

struct Case {
    const char* what;
    Payload payload;
    Lines lines;        // each must be a line of the frame, indentation off
    Lines absent = {};  // no line of the frame may contain one of these
};

const std::vector<Case> kCases{
    {"poll",
     Text("VXPP\x01"),
     {"PraveltTest Node Protocol, Poll (VXPP)", "Message Code: VXPP", "Poll Byte: 0x01"},
     {"Expert Info"}},
    {"poll byte not 1", Text("VXPP\x02"), {"Poll Byte: 0x02", Warning("A poll carries 0x01 here")}},
    {"poll cut short", Text("VXPP"), {Short("4 bytes, a poll needs 5")}, {"Poll Byte"}},
    {"reply",
     kReply,
     {"PraveltTest Node Protocol, Poll reply (VXPR), Node Name: LabNode", "[IP Address: 10.1.2.20]",
      "MAC Address: 02 AA BB CC DD EE", "Node Type: 1234", "Version: 03", "Switch Settings: 80",
      "Node Name: LabNode", "Options: Enable DHCP, Enable Error Correction",
      ".... ...0 = Node is configured: False", "Type of Service: 02", "Packet TTL: 20",
      "Listen to: Class C Broadcast", "Listen IP Address: 10.1.2.255",
      "DMX Universe: 8 (3585-4096)"},
     {"Expert Info", "Ignored"}},
    {"reply, full name, options 3, plain broadcast, universe byte 0",
     Reply("ABCDEFGHIJ", 0x03, 0, 0),
     {"Node Name: ABCDEFGHIJ", "Options: Node is configured, Enable DHCP, ", "Listen to: Broadcast",
      "DMX Universe: 1 (1-512)"}},
    {"reply, Latin-1 name, no options, listen byte 0xFF, universe byte 255, extra bytes",
     Cat({Reply("B\xFChne", 0, 0xFF, 0xFF), {0xDE, 0xAD}}),
     {"Node Name: B\xC3\xBChne", "Options: ", "Listen to: Class C Broadcast",
      "DMX Universe: 256 (130561-131072)", "Ignored Bytes: dead (beyond the message)"},
     {"Expert Info"}},
    {"reply, empty name",
     Reply("", 0x07, 1, 7),
     {"PraveltTest Node Protocol, Poll reply (VXPR), Node Name: ", "Node Name: ",
      "Options: Node is configured, Enable DHCP, Enable Error Correction"}},
    {"reply one byte short",
     Payload(kReply.begin(), kReply.end() - 1),
     {Short("32 bytes, a poll reply needs 33")},
     {"MAC Address"}},
    {"DMX, raw",
     Dmx({11, 0, 1, 0, 3}, 3, 128, {0}),
     {"PraveltTest Node Protocol, DMX data (VXDD)", "Universe: 12 (byte 11)", "Start Code: 0",
      "Data Type: Raw (1)", "Channel Count: 3", "Levels: 3 channels, all 128", "Channel 1: 128",
      "Channel 3: 128", "Trailer: 0"},
     {"Expert Info", "Channel 4"}},
    {"DMX, run-length encoded, start code 0xCC, universe byte 255",
     Dmx({255, 0xCC, 4, 0, 2, 0, 255}, 0, 0, {0}),
     {"Universe: 256 (byte 255)", "Start Code: 204", "Data Type: Run-length encoded (4)",
      "Levels: 2 channels, 0 to 255", "Channel 1: 0", "Channel 2: 255"},
     {"Expert Info"}},
    {"DMX, pairs",
     Dmx({0, 0, 2, 0, 1, 9}, 0, 0, {0}),
     {"Data Type: Channel/value pairs (2)"},
     {"Expert Info"}},
    {"DMX, zero type",
     Dmx({0, 0, 0, 0, 1, 9}, 0, 0, {0}),
     {"Data Type: Zero (invalid) (0)"},
     {"Expert Info"}},
    {"DMX, unknown type",
     Dmx({0, 0, 9, 0, 1, 9}, 0, 0, {0}),
     {"Data Type: Unknown (9)", Warning("Unknown data type")}},
    {"DMX, 512 channels",
     Dmx({0, 0, 1, 0x02, 0x00}, 512, 255, {0}),
     {"Channel Count: 512", "Levels: 512 channels, all 255", "Channel 512: 255", "Trailer: 0"},
     {"Expert Info"}},
    {"DMX, count above the length",
     Dmx({0, 0, 1, 0, 5, 1, 2}, 0, 0, {0}),
     {"[Expert Info (Error/Malformed): Channel count 5 needs a datagram of 15 bytes; this one "
      "has 12]",
      "Levels: 3 channels, 0 to 2"},
     {"Trailer"}},
    {"DMX, count below the length",
     Dmx({0, 0, 1, 0, 1, 7}, 0, 0, {0, 3, 4}),
     {"[Expert Info (Error/Malformed): Channel count 1 needs a datagram of 11 bytes; this one "
      "has 13]",
      "Trailer: 0", "Ignored Bytes: 0304 (beyond the message)"}},
    {"DMX, count 0",
     Dmx({0, 0, 1, 0, 0}, 0, 0, {0}),
     {"Channel Count: 0", Warning("A channel count is 1 to 512")},
     {"needs a datagram"}},
    {"DMX, trailer not 0",
     Dmx({0, 0, 1, 0, 1, 9}, 0, 0, {7}),
     {"Trailer: 7", Warning("The trailer is always 0")}},
    {"DMX, header cut short",
     Dmx({0, 0, 1, 0}, 0, 0, {}),
     {Short("8 bytes, a DMX data message needs 11")},
     {"Universe"}},
    {"two bytes", Text("VX"), {Short("2 bytes, a message code needs 4")}},
    {"unknown code", Text("ABCD"), {"Message Code: ABCD", Warning("Unknown message code 'ABCD'")}},
    {"code in lower case", Text("vxpp\x01"), {Warning("Unknown message code 'vxpp'")}},
    {"code with control bytes",
     {0, 1, 'V', 'X', 0xFF},
     {Warning("Unknown message code '\\x00\\x01VX'")}},
    {"VXAP",
     Text("VXAP"),
     {"PraveltTest Node Protocol, Unexpected message (VXAP)", Unexpected("VXAP")}},
    {"VXZZ", Text("VXZZ"), {Unexpected("VXZZ")}},
    {"XVCN",
     Text("XVCN"),
     {"PraveltTest Node Protocol, Message never to be seen (legacy code) (XVCN)",
      Unexpected("XVCN")}},
    {"600 bytes", Cat({Text("VXAP"), Payload(596, 'x')}), {"[Datagram Length: 600]"}, {"over 600"}},
    {"601 bytes",
     Cat({Text("VXAP"), Payload(597, 'x')}),
     {"[Datagram Length: 601]",
      Warning("Datagram of 601 bytes, over 600: the program drops it unread")}},
    {"oversized DMX",
     Dmx({0, 0, 1, 0x02, 0x00}, 691, 1, {}),
     {Warning("Datagram of 700 bytes, over 600: the program drops it unread"),
      "[Expert Info (Error/Malformed): Channel count 512 needs a datagram of 522 bytes; this "
      "one has 700]"}},
};

TEST(Dissector, DecodesEveryFieldAndFlagsWhatIsWrong) {
    REQUIRE_TSHARK();
    wireshark_support::Scratch scratch;
    std::vector<Payload> payloads;
    for (const Case& each : kCases) payloads.push_back(each.payload);
    const auto frames = wireshark_support::Decode(scratch, scratch.Capture(payloads));
    ASSERT_EQ(frames.size(), kCases.size());
    for (std::size_t i = 0; i < kCases.size(); ++i) {
        SCOPED_TRACE(kCases[i].what);
        EXPECT_EQ(wireshark_support::Missing(frames[i], kCases[i].lines), Lines{}) << frames[i];
        for (const std::string& unwanted : kCases[i].absent) {
            EXPECT_EQ(frames[i].find(unwanted), std::string::npos) << unwanted << frames[i];
        }
    }
}

// The fields carry their values for display filters and -T fields, not only the row texts.
TEST(Dissector, FieldsCanBeFilteredAndPrinted) {
    REQUIRE_TSHARK();
    wireshark_support::Scratch scratch;
    const auto capture =
        scratch.Capture({Text("VXPP\x01"), kReply, Dmx({11, 0, 4, 0, 2}, 2, 64, {0})});
    std::vector<std::string> view{"-Y",         "praveltest.code != \"VXPP\"", "-T", "fields", "-E",
                                  "separator=|"};
    for (const char* field : {"code", "reply.name", "reply.mac", "reply.listen_ip",
                              "reply.universe", "dmx.universe", "dmx.data_type", "dmx.channels"}) {
        view.insert(view.end(), {"-e", std::string("praveltest.") + field});
    }
    EXPECT_EQ(wireshark_support::Decode(scratch, capture, view),
              Lines{"VXPR|LabNode|02:aa:bb:cc:dd:ee|10.1.2.255|7|||\n"
                    "VXDD|||||11|4|2\n"});
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
    wireshark_support::Scratch scratch;
    const auto frames = wireshark_support::Decode(scratch, scratch.Capture(payloads));
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(),
                            [](const std::string& frame) {
                                return frame.find("\nPraveltTest Node Protocol") !=
                                       std::string::npos;
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
    wireshark_support::Scratch scratch;
    const auto frames = wireshark_support::Decode(scratch, scratch.Capture({frame}, {}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_NE(frames[0].find("Src Port: 3333, Dst Port: 3333"), std::string::npos) << frames[0];
}

}  // namespace
