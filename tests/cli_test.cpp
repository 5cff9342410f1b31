// praveltest-cli's command line, what it makes of the datagrams a poll brings back, the texts
// it prints and the socket table it reads, without sockets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/PortOwners.h"
#include "tools/CliArguments.h"
#include "tools/NoAnswerDiagnosis.h"
#include "tools/ReplyCollector.h"
#include "tools/ReplyFormats.h"

namespace {

using clitool::Action;
using clitool::PollFormat;

using Bytes = std::vector<std::uint8_t>;
using Args = std::vector<std::string>;

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Resized(Bytes bytes, std::size_t size, std::uint8_t fill) {
    bytes.resize(size, fill);
    return bytes;
}

// Truss: every option bit, listening to the class C broadcast, universe byte 2.
const Bytes kTrussReply{'V',  'X',  'P',  'R',  0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x02,
                        0x03, 0x10, 0x0F, 'T',  'r',  'u',  's',  's',  0,    0,    0,
                        0,    0,    0x07, 0x20, 0x40, 0x01, 10,   1,    2,    255,  2};
// A name that fills all ten bytes, no option bits, the plain broadcast, universe byte 0.
const Bytes kFloorReply{'V',  'X',  'P',  'R',  0x02, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00,
                        0x01, 0x01, 0x00, 'F',  'l',  'o',  'o',  'r',  '-',  'L',  'e',
                        'f',  't',  0x00, 0x00, 0xFF, 0x00, 0,    0,    0,    0,    0};

// Everything a parse decided, on one line, so that each case is one literal: formats by
// index, expect -1 when not given.
std::string Meaning(const Args& args) {
    const clitool::Arguments parsed = clitool::ParseArguments(args);
    const auto number = [](auto value) { return std::to_string(static_cast<int>(value)); };
    const std::string common =
        " port=" + number(parsed.port) + " interface=" + parsed.interfaceChoice.value_or("-");
    const auto& [wait, expect, format] = parsed.poll;
    const auto& settings = parsed.level.settings;
    switch (parsed.action) {
        case Action::Poll:
            return "poll wait=" + number(wait) + " expect=" + number(expect.value_or(-1)) +
                   " format=" + number(format) + common;
        case Action::Level:
            return "level " + number(parsed.level.level) +
                   " universe=" + number(settings.universe) +
                   " channels=" + number(settings.channelCount) +
                   " start-code=" + number(settings.startCode) +
                   " format=" + number(settings.dataFormat) +
                   (parsed.level.dryRun ? " dry-run" : "") + common;
        case Action::Error:
            return "error: " + parsed.error;
        case Action::Help:
            return "help";
        case Action::Version:
            return "version";
        case Action::ListInterfaces:
            break;
    }
    return "list-interfaces";
}

struct ParseCase {
    Args args;
    std::string meaning;
};

// Global options win wherever they stand; options take both forms; level settings out of range
// are kept as given, to be clamped as the window clamps what is typed into its fields.
TEST(CliArguments, EachCommandLineMeansOneThing) {
    const std::vector<ParseCase> cases{
        {{"--help"}, "help"},
        {{"poll", "--wait", "x", "-h"}, "help"},
        {{"--version"}, "version"},
        {{"level", "--list-interfaces"}, "list-interfaces"},
        {{"poll"}, "poll wait=3000 expect=-1 format=0 port=3333 interface=-"},
        {{"poll", "--wait", "0.25", "--expect=40", "--format", "csv", "--interface=eth1", "--port",
          "0x1000"},
         "poll wait=250 expect=40 format=2 port=4096 interface=eth1"},
        {{"poll", "--format", "json"}, "poll wait=3000 expect=-1 format=1 port=3333 interface=-"},
        {{"level", "255"},
         "level 255 universe=1 channels=512 start-code=0 format=0 port=3333 interface=-"},
        {{"level", "--universe", "300", "0x80", "--channels=0", "--start-code", "-4", "--format",
          "pairs", "--dry-run"},
         "level 128 universe=300 channels=0 start-code=-4 format=2 dry-run port=3333 interface=-"},
    };
    for (const ParseCase& each : cases) EXPECT_EQ(Meaning(each.args), each.meaning);
}

TEST(CliArguments, MistakesAreNamedInOneLine) {
    const std::string wait = ": expected seconds, more than 0 and at most 3600";
    const std::vector<ParseCase> cases{
        {{}, "no subcommand given; expected poll or level"},
        {{"scan"}, "unknown subcommand 'scan'; expected poll or level"},
        {{"poll", "--wait", "0"}, "bad value '0' for --wait" + wait},
        {{"poll", "--wait", "3601"}, "bad value '3601' for --wait" + wait},
        {{"poll", "--wait", "1s"}, "bad value '1s' for --wait" + wait},
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
    for (const ParseCase& each : cases) EXPECT_EQ(Meaning(each.args), "error: " + each.meaning);
}

struct CollectCase {
    std::vector<Bytes> datagrams;  // the n-th from 10.1.2.(20+n), port 3000+n, n ms after the poll
    std::string ignored;
    std::string nodes;  // name address:port universe ms; ...
};

// Replies become records, one per name in the order of first answer with the latest reply's
// values; everything else is counted by kind, in a fixed order of kinds. Kinds the loopback
// test sends through the program are not repeated here.
TEST(PollCollector, KeepsOneRecordPerNameAndCountsTheRestByKind) {
    Bytes trussElsewhere = kTrussReply;
    trussElsewhere[32] = 9;
    Bytes lowerCase = kTrussReply;
    lowerCase[14] = 't';
    const Bytes poll{'V', 'X', 'P', 'P', 1};
    const std::vector<CollectCase> cases{
        {{Resized(kTrussReply, 601, 0)}, "ignored 1 datagram: oversized=1", ""},
        {{poll}, "ignored 1 datagram: poll=1", ""},
        {{Text("VXAP")}, "ignored 1 datagram: unexpected=1", ""},
        {{Text("VXZZ"), Text("XVCN")}, "ignored 2 datagrams: never-seen=2", ""},
        {{Text("vxpr and more")}, "ignored 1 datagram: unknown-code=1", ""},
        {{Resized(kTrussReply, 600, 0xEE)}, "", "Truss 10.1.2.20:3000 3 (1025-1536) 0"},
        {{Text("ABCD"), Text("VX"), poll, kTrussReply, poll},
         "ignored 4 datagrams: short=1 poll=2 unknown-code=1",
         "Truss 10.1.2.23:3003 3 (1025-1536) 3"},
        {{kTrussReply, kFloorReply, trussElsewhere, lowerCase},
         "",
         "Truss 10.1.2.22:3002 10 (4609-5120) 2; Floor-Left 10.1.2.21:3001 1 (1-512) 1; "
         "truss 10.1.2.23:3003 3 (1025-1536) 3"},
    };
    for (const CollectCase& each : cases) {
        clitool::PollCollector collector;
        for (std::size_t n = 0; n < each.datagrams.size(); ++n) {
            collector.Take(each.datagrams[n], "10.1.2." + std::to_string(20 + n),
                           static_cast<std::uint16_t>(3000 + n), static_cast<long long>(n));
        }
        std::string nodes;
        for (const clitool::NodeRecord& node : collector.Nodes()) {
            nodes += (nodes.empty() ? "" : "; ") + node.name + " " + node.values[0] + ":" +
                     std::to_string(node.port) + " " + node.values[10] + " " +
                     std::to_string(node.milliseconds);
        }
        EXPECT_EQ(clitool::IgnoredText(collector.IgnoredCounts()), each.ignored) << each.nodes;
        EXPECT_EQ(nodes, each.nodes) << each.ignored;
    }
}

TEST(PollOutput, EachFormatShowsEveryValueOfEveryNode) {
    clitool::PollCollector collector;
    collector.Take(kTrussReply, "10.1.2.20", 3333, 12);
    collector.Take(kFloorReply, "10.1.2.21", 40000, 7);
    const auto& two = collector.Nodes();
    const struct {
        std::vector<clitool::NodeRecord> nodes;
        PollFormat format;
        std::string text;
    } cases[]{
        {two, PollFormat::Table,
         "Name        IP Address  Port   MAC Address        Node Type  Version  Switch Settings  "
         "Options                                                   Type of Service  Packet TTL  "
         "Listen to          Listen IP Address  DMX Universe   Reply ms\n"
         "Truss       10.1.2.20   3333   02 11 22 33 44 55  0203       10       0F               "
         "Node is configured, Enable DHCP, Enable Error Correction  20               40          "
         "Class C Broadcast  10.1.2.255         3 (1025-1536)  12\n"
         "Floor-Left  10.1.2.21   40000  02 00 00 00 00 0A  0001       01       00               "
         "                                                          00               FF          "
         "Broadcast          0.0.0.0            1 (1-512)      7\n"},
        {{},
         PollFormat::Table,
         "Name  IP Address  Port  MAC Address  Node Type  Version  Switch Settings  Options  "
         "Type of Service  Packet TTL  Listen to  Listen IP Address  DMX Universe  Reply ms\n"},
        {two, PollFormat::Json,
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
         "\n"},
        {{}, PollFormat::Json, ""},
        {two, PollFormat::Csv,
         "Name,IP Address,Port,MAC Address,Node Type,Version,Switch Settings,Options,"
         "Type of Service,Packet TTL,Listen to,Listen IP Address,DMX Universe,Reply ms\n"
         "Truss,10.1.2.20,3333,02 11 22 33 44 55,0203,10,0F,"
         "\"Node is configured, Enable DHCP, Enable Error Correction\",20,40,"
         "Class C Broadcast,10.1.2.255,3 (1025-1536),12\n"
         "Floor-Left,10.1.2.21,40000,02 00 00 00 00 0A,0001,01,00,,00,FF,Broadcast,0.0.0.0,"
         "1 (1-512),7\n"},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(clitool::FormatNodes(each.nodes, each.format), each.text);
    }
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

// The wordings the lab tests do not reach: sockets whose owner is hidden, an owner without a
// name, a table the system does not give, an address no interface holds, counts of one.
TEST(NoAnswer, NamesWhatTheSystemShowsAndCountsWhatItHides) {
    using protocol::DatagramKind;
    clitool::NoAnswer hidden{"eth0", {10, 1, 2, 3}, 24, "10.1.2.255", 3333, false, {}, {}};
    hidden.heard[static_cast<std::size_t>(DatagramKind::DmxData)] = 1;
    hidden.heard[static_cast<std::size_t>(DatagramKind::PollReply)] = 1;
    hidden.owners = {true, {{412, "qlcplus"}, {9001, ""}}, 2};
    clitool::NoAnswer unknown{"", {127, 0, 1, 1}, 0, "127.0.1.255", 4000, true, {}, {}};
    unknown.heard[static_cast<std::size_t>(DatagramKind::Poll)] = 3;
    const std::pair<clitool::NoAnswer, std::string> cases[]{
        {hidden,
         "no node answered the poll sent on eth0 (10.1.2.3/24) to 10.1.2.255:3333\n"
         "its own poll came back: no; a firewall on this host may be dropping UDP port 3333\n"
         "other programs on UDP port 3333 on this host: qlcplus (pid 412), (pid 9001), and 2 "
         "sockets whose program is not shown to this user\n"
         "also heard: 1 DMX data message, 1 other datagram\n"},
        {unknown,
         "no node answered the poll sent from 127.0.1.1 to 127.0.1.255:4000\n"
         "its own poll came back: yes, so the broadcast went out\n"
         "other programs on UDP port 4000 on this host: unknown, the system does not tell\n"
         "also heard: 2 other polls\n"},
    };
    for (const auto& [facts, expected] : cases) {
        std::string lines;
        for (const std::string& line : clitool::NoAnswerLines(facts)) lines += line + "\n";
        EXPECT_EQ(lines.substr(0, lines.rfind("usual causes: ")), expected);
    }
}

// The port is the hex after the local address's last colon, IPv4 or IPv6; the inode is the
// tenth field. The remote port and inode 0 do not count.
TEST(PortOwners, SocketsOnThePortAreFoundInTheSystemsTable) {
    const std::string udp =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode ref pointer drops\n"
        "1861: 0302010A:0D05 00000000:0000 07 00000000:00000000 00:00000000 00000000 0 0 680799 2 "
        "000000009fdeb435 0\n"
        "1863: 0100007F:A1B2 0100007F:0D05 01 00000000:00000000 00:00000000 00000000 0 0 680801 2 "
        "000000009fdeb437 0\n"
        "1864: 00000000:0D05 00000000:0000 07 00000000:00000000 00:00000000 00000000 0 0 0 2 "
        "000000009fdeb438 0\n"
        "  99: 00000000000000000000000000000000:0D05 00000000000000000000000000000000:0000 07 "
        "00000000:00000000 00:00000000 00000000 1000 0 555 2 0000000011111111 0\n";
    EXPECT_EQ(net::SocketInodesOnPort(udp, 3333), (std::vector<std::uint64_t>{680799, 555}));
    EXPECT_EQ(net::SocketInodesOnPort(udp, 41394), (std::vector<std::uint64_t>{680801}));
    EXPECT_EQ(net::SocketInodesOnPort(udp, 3334), (std::vector<std::uint64_t>{}));
}

}  // namespace
