// praveltest-cli's command line, what it makes of the datagrams a poll brings back, and the
// texts it prints, without sockets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/CliArguments.h"
#include "tools/CliReport.h"

namespace {

using clitool::Action;
using clitool::PollFormat;

using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Truss: every option bit, listening to the class C broadcast, universe byte 2.
const Bytes kTrussReply{'V',  'X',  'P',  'R',  0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x02,
                        0x03, 0x10, 0x0F, 'T',  'r',  'u',  's',  's',  0,    0,    0,
                        0,    0,    0x07, 0x20, 0x40, 0x01, 10,   1,    2,    255,  2};
// A name that fills all ten bytes, no option bits, the plain broadcast, universe byte 0.
const Bytes kFloorReply{'V',  'X',  'P',  'R',  0x02, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00,
                        0x01, 0x01, 0x00, 'F',  'l',  'o',  'o',  'r',  '-',  'L',  'e',
                        'f',  't',  0x00, 0x00, 0xFF, 0x00, 0,    0,    0,    0,    0};

std::vector<clitool::NodeRecord> TwoNodes() {
    clitool::PollCollector collector;
    collector.Take(kTrussReply, "10.1.2.20", 3333, 12);
    collector.Take(kFloorReply, "10.1.2.21", 40000, 7);
    return collector.Nodes();
}

struct ParseCase {
    std::vector<std::string> args;
    Action action;
};

TEST(CliArguments, GlobalOptionsWinWhereverTheyStand) {
    const std::vector<ParseCase> cases{
        {{"--help"}, Action::Help},       {{"poll", "--wait", "x", "-h"}, Action::Help},
        {{"--version"}, Action::Version}, {{"level", "--list-interfaces"}, Action::ListInterfaces},
        {{"poll"}, Action::Poll},         {{"level", "0"}, Action::Level},
    };
    for (const ParseCase& each : cases) {
        EXPECT_EQ(clitool::ParseArguments(each.args).action, each.action) << each.args.front();
    }
}

TEST(CliArguments, PollTakesItsOptionsInBothForms) {
    const auto defaults = clitool::ParseArguments({"poll"});
    EXPECT_EQ(defaults.poll.waitMilliseconds, 3000);
    EXPECT_FALSE(defaults.poll.expect);
    EXPECT_EQ(defaults.poll.format, PollFormat::Table);
    EXPECT_EQ(defaults.port, 3333);
    EXPECT_FALSE(defaults.interfaceChoice);

    const auto given = clitool::ParseArguments({"poll", "--wait", "0.25", "--expect=40", "--format",
                                                "csv", "--interface=eth1", "--port", "0x1000"});
    ASSERT_EQ(given.action, Action::Poll) << given.error;
    EXPECT_EQ(given.poll.waitMilliseconds, 250);
    EXPECT_EQ(given.poll.expect, 40);
    EXPECT_EQ(given.poll.format, PollFormat::Csv);
    EXPECT_EQ(given.interfaceChoice, "eth1");
    EXPECT_EQ(given.port, 4096);
    EXPECT_EQ(clitool::ParseArguments({"poll", "--format", "json"}).poll.format, PollFormat::Json);
}

// Out-of-range settings are kept as given: they are clamped when the message is built, as the
// window clamps what is typed into its fields.
TEST(CliArguments, LevelKeepsSettingsForTheWindowsClamping) {
    const auto defaults = clitool::ParseArguments({"level", "255"});
    ASSERT_EQ(defaults.action, Action::Level) << defaults.error;
    EXPECT_EQ(defaults.level.level, 255);
    EXPECT_EQ(defaults.level.settings.universe, 1);
    EXPECT_EQ(defaults.level.settings.channelCount, 512);
    EXPECT_EQ(defaults.level.settings.startCode, 0);
    EXPECT_EQ(defaults.level.settings.dataFormat, 0);
    EXPECT_FALSE(defaults.level.dryRun);

    const auto given =
        clitool::ParseArguments({"level", "--universe", "300", "0x80", "--channels=0",
                                 "--start-code", "-4", "--format", "pairs", "--dry-run"});
    ASSERT_EQ(given.action, Action::Level) << given.error;
    EXPECT_EQ(given.level.level, 128);
    EXPECT_EQ(given.level.settings.universe, 300);
    EXPECT_EQ(given.level.settings.channelCount, 0);
    EXPECT_EQ(given.level.settings.startCode, -4);
    EXPECT_EQ(given.level.settings.dataFormat, 2);
    EXPECT_TRUE(given.level.dryRun);
    for (const auto& [word, index] : std::vector<std::pair<std::string, int>>{
             {"raw", 0}, {"rle", 1}, {"pairs", 2}, {"zero", 3}}) {
        EXPECT_EQ(
            clitool::ParseArguments({"level", "1", "--format", word}).level.settings.dataFormat,
            index)
            << word;
    }
}

struct ErrorCase {
    std::vector<std::string> args;
    std::string error;
};

TEST(CliArguments, MistakesAreNamedInOneLine) {
    const std::vector<ErrorCase> cases{
        {{}, "no subcommand given; expected poll or level"},
        {{"scan"}, "unknown subcommand 'scan'; expected poll or level"},
        {{"--wait", "1"}, "unknown subcommand '--wait'; expected poll or level"},
        {{"poll", "--wait", "0"},
         "bad value '0' for --wait: expected seconds, more than 0 and at most 3600"},
        {{"poll", "--wait", "3601"},
         "bad value '3601' for --wait: expected seconds, more than 0 and at most 3600"},
        {{"poll", "--wait", "1s"},
         "bad value '1s' for --wait: expected seconds, more than 0 and at most 3600"},
        {{"poll", "--format", "xml"}, "bad value 'xml' for --format: expected table, json or csv"},
        {{"level", "1", "--format", "json"},
         "bad value 'json' for --format: expected raw, rle, pairs or zero"},
        {{"level"}, "level needs LEVEL, 0 to 255"},
        {{"level", "256"}, "bad LEVEL '256': expected 0 to 255"},
        {{"level", "full"}, "bad LEVEL 'full': expected 0 to 255"},
        {{"level", "1", "2"}, "unexpected argument '2'"},
        {{"poll", "3"}, "unexpected argument '3'"},
        {{"poll", "--universe", "2"}, "unknown option '--universe' for poll"},
        {{"poll", "--dry-run"}, "unknown option '--dry-run' for poll"},
        {{"level", "1", "--expect", "2"}, "unknown option '--expect' for level"},
        {{"poll", "--bogus"}, "unknown option '--bogus'"},
        {{"level", "1", "--dry-run=yes"}, "option '--dry-run' takes no value"},
        {{"poll", "--expect"}, "option '--expect' needs a value"},
        {{"poll", "--expect", "-1"}, "bad value '-1' for --expect: expected 0 to 1000000"},
        {{"poll", "--port", "0"}, "bad value '0' for --port: expected 1 to 65535"},
        {{"poll", "--port", "65536"}, "bad value '65536' for --port: expected 1 to 65535"},
        {{"poll", "--interface="},
         "bad value '' for --interface: expected an interface NAME or A.B.C.D"},
        {{"level", "1", "--channels", "99999999999"},
         "bad value '99999999999' for --channels: expected a whole number"},
        {{"level", "1", "--universe", "1.5"},
         "bad value '1.5' for --universe: expected a whole number"},
    };
    for (const ErrorCase& each : cases) {
        const auto parsed = clitool::ParseArguments(each.args);
        EXPECT_EQ(parsed.action, Action::Error) << each.error;
        EXPECT_EQ(parsed.error, each.error);
    }
}

struct DatagramCase {
    Bytes datagram;
    std::string ignored;  // empty when the datagram is taken as a node
};

TEST(PollCollector, CountsWhatIsNotAReplyByKind) {
    Bytes oversized = kTrussReply;
    oversized.resize(601, 0);
    Bytes longest = kTrussReply;
    longest.resize(600, 0xEE);
    const std::vector<DatagramCase> cases{
        {{}, "ignored 1 datagram: empty=1"},
        {Text("VXP"), "ignored 1 datagram: short=1"},
        {oversized, "ignored 1 datagram: oversized=1"},
        {{'V', 'X', 'P', 'P', 1}, "ignored 1 datagram: poll=1"},
        {{'V', 'X', 'D', 'D', 0, 0, 1, 0, 1, 255, 0}, "ignored 1 datagram: dmx=1"},
        {Bytes(kTrussReply.begin(), kTrussReply.end() - 1), "ignored 1 datagram: short-reply=1"},
        {Text("VXPR"), "ignored 1 datagram: short-reply=1"},
        {Text("VXAP"), "ignored 1 datagram: unexpected=1"},
        {Text("VXZZ"), "ignored 1 datagram: never-seen=1"},
        {Text("XVCN"), "ignored 1 datagram: never-seen=1"},
        {Text("vxpr and more"), "ignored 1 datagram: unknown-code=1"},
        {kTrussReply, ""},
        {longest, ""},
    };
    for (const DatagramCase& each : cases) {
        clitool::PollCollector collector;
        collector.Take(each.datagram, "10.1.2.20", 3333, 5);
        EXPECT_EQ(clitool::IgnoredText(collector.IgnoredCounts()), each.ignored)
            << each.datagram.size() << " bytes";
        EXPECT_EQ(collector.Nodes().size(), each.ignored.empty() ? 1u : 0u);
    }
}

TEST(PollCollector, CountsAddUpInAFixedOrderOfKinds) {
    clitool::PollCollector collector;
    for (const Bytes& datagram : {Text("ABCD"), Text("VX"), Bytes{'V', 'X', 'P', 'P', 1},
                                  kTrussReply, Bytes{'V', 'X', 'P', 'P', 1}}) {
        collector.Take(datagram, "10.1.2.20", 3333, 5);
    }
    EXPECT_EQ(clitool::IgnoredText(collector.IgnoredCounts()),
              "ignored 4 datagrams: short=1 poll=2 unknown-code=1");
}

TEST(PollCollector, TheLatestReplyForANameWinsInTheFirstAnswersPlace) {
    Bytes trussElsewhere = kTrussReply;
    trussElsewhere[32] = 9;
    Bytes lowerCase = kTrussReply;
    lowerCase[14] = 't';
    clitool::PollCollector collector;
    collector.Take(kTrussReply, "10.1.2.20", 3333, 3);
    collector.Take(kFloorReply, "10.1.2.21", 3333, 4);
    collector.Take(trussElsewhere, "10.1.2.30", 5000, 8);
    collector.Take(lowerCase, "10.1.2.31", 3333, 9);

    const auto& nodes = collector.Nodes();
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].name, "Truss");
    EXPECT_EQ(nodes[0].values[0], "10.1.2.30");
    EXPECT_EQ(nodes[0].values[10], "10 (4609-5120)");
    EXPECT_EQ(nodes[0].port, 5000);
    EXPECT_EQ(nodes[0].milliseconds, 8);
    EXPECT_EQ(nodes[1].name, "Floor-Left");
    EXPECT_EQ(nodes[2].name, "truss");
    EXPECT_EQ(clitool::IgnoredText(collector.IgnoredCounts()), "");
}

TEST(PollOutput, TableAlignsEveryColumnUnderItsTitle) {
    EXPECT_EQ(
        clitool::FormatNodes(TwoNodes(), PollFormat::Table),
        "Name        IP Address  Port   MAC Address        Node Type  Version  Switch Settings  "
        "Options                                                   Type of Service  Packet TTL  "
        "Listen to          Listen IP Address  DMX Universe   Reply ms\n"
        "Truss       10.1.2.20   3333   02 11 22 33 44 55  0203       10       0F               "
        "Node is configured, Enable DHCP, Enable Error Correction  20               40          "
        "Class C Broadcast  10.1.2.255         3 (1025-1536)  12\n"
        "Floor-Left  10.1.2.21   40000  02 00 00 00 00 0A  0001       01       00               "
        "                                                          00               FF          "
        "Broadcast          0.0.0.0            1 (1-512)      7\n");
}

TEST(PollOutput, TableOfNoNodesIsItsHeader) {
    EXPECT_EQ(
        clitool::FormatNodes({}, PollFormat::Table),
        "Name  IP Address  Port  MAC Address  Node Type  Version  Switch Settings  Options  "
        "Type of Service  Packet TTL  Listen to  Listen IP Address  DMX Universe  Reply ms\n");
    EXPECT_EQ(clitool::FormatNodes({}, PollFormat::Json), "");
}

TEST(PollOutput, JsonIsOneObjectPerLine) {
    EXPECT_EQ(clitool::FormatNodes(TwoNodes(), PollFormat::Json),
              R"j({"name": "Truss", "ip_address": "10.1.2.20", "port": 3333, )j"
              R"j("mac_address": "02 11 22 33 44 55", "node_type": "0203", "version": "10", )j"
              R"j("switch_settings": "0F", )j"
              R"j("options": "Node is configured, Enable DHCP, Enable Error Correction", )j"
              R"j("type_of_service": "20", "packet_ttl": "40", "listen_to": "Class C Broadcast", )j"
              R"j("listen_ip_address": "10.1.2.255", "dmx_universe": "3 (1025-1536)", )j"
              R"j("reply_ms": 12})j"
              "\n"
              R"j({"name": "Floor-Left", "ip_address": "10.1.2.21", "port": 40000, )j"
              R"j("mac_address": "02 00 00 00 00 0A", "node_type": "0001", "version": "01", )j"
              R"j("switch_settings": "00", "options": "", "type_of_service": "00", )j"
              R"j("packet_ttl": "FF", "listen_to": "Broadcast", "listen_ip_address": "0.0.0.0", )j"
              R"j("dmx_universe": "1 (1-512)", "reply_ms": 7})j"
              "\n");
}

TEST(PollOutput, CsvHasAHeaderAndQuotesWhatNeedsIt) {
    EXPECT_EQ(clitool::FormatNodes(TwoNodes(), PollFormat::Csv),
              "Name,IP Address,Port,MAC Address,Node Type,Version,Switch Settings,Options,"
              "Type of Service,Packet TTL,Listen to,Listen IP Address,DMX Universe,Reply ms\n"
              "Truss,10.1.2.20,3333,02 11 22 33 44 55,0203,10,0F,"
              "\"Node is configured, Enable DHCP, Enable Error Correction\",20,40,"
              "Class C Broadcast,10.1.2.255,3 (1025-1536),12\n"
              "Floor-Left,10.1.2.21,40000,02 00 00 00 00 0A,0001,01,00,,00,FF,Broadcast,0.0.0.0,"
              "1 (1-512),7\n");
}

// Names are single-byte text, shown as Latin-1; no byte may break a line or a quoted field.
TEST(PollOutput, OddNamesStayInsideTheirField) {
    Bytes reply = kFloorReply;
    const Bytes name{'A', '"', ',', '\\', 0xE9, 0x0A, 'z', 0, 0, 0};
    std::copy(name.begin(), name.end(), reply.begin() + 14);
    clitool::PollCollector collector;
    collector.Take(reply, "10.1.2.21", 1, 0);

    const std::string json = clitool::FormatNodes(collector.Nodes(), PollFormat::Json);
    EXPECT_EQ(json.substr(0, 32), "{\"name\": \"A\\\",\\\\\xC3\xA9\\u000Az\", \"ip_");
    const std::string csv = clitool::FormatNodes(collector.Nodes(), PollFormat::Csv);
    EXPECT_EQ(csv.substr(csv.find('\n') + 1, 12), "\"A\"\",\\\xC3\xA9\nz\",");
    const std::string table = clitool::FormatNodes(collector.Nodes(), PollFormat::Table);
    EXPECT_EQ(table.substr(table.find('\n') + 1, 10), "A\",\\\xC3\xA9?z  ");
}

TEST(LevelOutput, SaysWhatWasSentAfterClampingAndWhere) {
    clitool::LevelRequest request;
    request.level = 128;
    request.settings.universe = 300;
    request.settings.channelCount = 0;
    request.settings.startCode = -4;
    request.settings.dataFormat = 3;
    const Bytes datagram{'V', 'X', 'D', 'D', 255, 0, 0, 0, 1, 128, 0};
    EXPECT_EQ(clitool::LevelLine(request, datagram, "10.1.2.255", 3333),
              "sent level=128 universe=256 start-code=0 format=zero type=0 channels=1 bytes=11 "
              "to=10.1.2.255:3333");
    request.dryRun = true;
    request.settings.dataFormat = 1;
    EXPECT_EQ(clitool::LevelLine(request, datagram, "127.0.0.255", 4000),
              "would-send level=128 universe=256 start-code=0 format=rle type=4 channels=1 "
              "bytes=11 to=127.0.0.255:4000");
}

TEST(LevelOutput, HexHasSixteenBytesALine) {
    Bytes bytes(17);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 15);
    EXPECT_EQ(clitool::HexLines(bytes), "00 0F 1E 2D 3C 4B 5A 69 78 87 96 A5 B4 C3 D2 E1\nF0\n");
    EXPECT_EQ(clitool::HexLines(Bytes{'V', 'X'}), "56 58\n");
}

}  // namespace
