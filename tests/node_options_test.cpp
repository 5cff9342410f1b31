// The simulated node's command line, its replies and its report lines, in process.
#include <gtest/gtest.h>

#include <set>
#include <span>

#include "tools/NodeOptions.h"
#include "tools/NodeReport.h"

namespace {

using simnode::NodeIdentities;
using simnode::NodeOptions;
using simnode::ParseArguments;
using simnode::ParseOutcome;

NodeOptions Parsed(const std::vector<std::string>& args) {
    const auto result = ParseArguments(args);
    EXPECT_EQ(result.outcome, ParseOutcome::Run) << result.error;
    return result.options;
}

std::vector<std::uint8_t> Wire(const protocol::PollReplyMessage& message) {
    const auto bytes = protocol::WritePollReply(message);
    return {bytes.begin(), bytes.end()};
}

TEST(NodeCommandLine, DefaultsAnswerAsOneConfiguredNodeOnTheNodePort) {
    const NodeOptions options = Parsed({});
    EXPECT_EQ(options.count, 1);
    EXPECT_EQ(options.port, 3333);
    EXPECT_EQ(options.bindAddress, "0.0.0.0");
    const std::vector<std::uint8_t> expected{
        'V',  'X',  'P',  'R',  0x02, 0x00, 0x00, 0x00, 0x00, 0x01,  // code, MAC
        0x00, 0x01, 0x01, 0x00,                                      // type, version, switches
        'S',  'i',  'm',  'N',  'o',  'd',  'e',  0,    0,    0,     // name
        0x01, 0x00, 0x40, 0x00, 0,    0,    0,    0,    0x00};       // options .. universe
    EXPECT_EQ(Wire(options.identity), expected);
}

TEST(NodeCommandLine, EveryFieldReachesItsByteInTheReply) {
    const NodeOptions options = Parsed({"--name",
                                        "Stage Left",
                                        "--mac=AA:bb:0C:dd:ee:F0",
                                        "--node-type",
                                        "0x0A0b",
                                        "--version",
                                        "0x12",
                                        "--switches=200",
                                        "--options",
                                        "7",
                                        "--tos",
                                        "0x10",
                                        "--ttl",
                                        "255",
                                        "--listen-to",
                                        "1",
                                        "--listen-address",
                                        "192.168.7.9",
                                        "--universe=0xff",
                                        "--port",
                                        "4000",
                                        "--bind",
                                        "127.0.0.255",
                                        "--count",
                                        "1"});
    EXPECT_EQ(options.port, 4000);
    EXPECT_EQ(options.bindAddress, "127.0.0.255");
    const std::vector<std::uint8_t> expected{'V',  'X',  'P',  'R',  0xAA, 0xBB, 0x0C, 0xDD, 0xEE,
                                             0xF0, 0x0A, 0x0B, 0x12, 200,  'S',  't',  'a',  'g',
                                             'e',  ' ',  'L',  'e',  'f',  't',  0x07, 0x10, 0xFF,
                                             0x01, 192,  168,  7,    9,    0xFF};
    EXPECT_EQ(Wire(options.identity), expected);
}

TEST(NodeCommandLine, LaterOptionsOverrideEarlierOnes) {
    EXPECT_EQ(Parsed({"--universe", "3", "--universe", "4"}).identity.universe, 4);
}

TEST(NodeCommandLine, HelpWinsOverEverythingElse) {
    EXPECT_EQ(ParseArguments({"--port", "7", "--help"}).outcome, ParseOutcome::Help);
    EXPECT_EQ(ParseArguments({"-h", "--bogus"}).outcome, ParseOutcome::Help);
    EXPECT_EQ(ParseArguments({"--bogus", "--help"}).outcome, ParseOutcome::Help);
    EXPECT_EQ(ParseArguments({"--name", "--list-interfaces"}).outcome,
              ParseOutcome::ListInterfaces);
}

TEST(NodeCommandLine, RangeLimitsAreInclusive) {
    EXPECT_EQ(Parsed({"--count", "4096"}).count, simnode::kMaxNodeCount);
    EXPECT_EQ(Parsed({"--port", "65535"}).port, 65535);
    EXPECT_EQ(Parsed({"--name", "0123456789"}).identity.name, "0123456789");
    EXPECT_EQ(Parsed({"--version", "0"}).identity.version, 0);
    EXPECT_EQ(Parsed({"--ttl", "0xFF"}).identity.ttl, 255);
}

struct BadLine {
    std::vector<std::string> args;
    std::string error;
};

class NodeCommandLineErrors : public testing::TestWithParam<BadLine> {};

TEST_P(NodeCommandLineErrors, AreRejectedWithAReasonNamingTheCulprit) {
    const auto result = ParseArguments(GetParam().args);
    EXPECT_EQ(result.outcome, ParseOutcome::Error);
    EXPECT_EQ(result.error, GetParam().error);
}

constexpr char kByte[] = ": expected 0 to 255, decimal or 0x hex";
constexpr char kAddress[] = ": expected a dotted IPv4 address";
constexpr char kMac[] = ": expected six hex pairs like aa:bb:cc:dd:ee:ff";
constexpr char kNodeType[] = ": expected 4 hex digits like 0102";

INSTANTIATE_TEST_SUITE_P(
    Values, NodeCommandLineErrors,
    testing::Values(
        BadLine{{"--ttl", "256"}, std::string("bad value '256' for --ttl") + kByte},
        BadLine{{"--ttl", "-1"}, std::string("bad value '-1' for --ttl") + kByte},
        BadLine{{"--version", "0x"}, std::string("bad value '0x' for --version") + kByte},
        BadLine{{"--version", "0x100"}, std::string("bad value '0x100' for --version") + kByte},
        BadLine{{"--switches", "12abc"}, std::string("bad value '12abc' for --switches") + kByte},
        BadLine{{"--options", " 1"}, std::string("bad value ' 1' for --options") + kByte},
        BadLine{{"--universe", "256"}, std::string("bad value '256' for --universe") + kByte},
        BadLine{{"--universe="}, std::string("bad value '' for --universe") + kByte},
        BadLine{{"--mac", "aa:bb:cc:dd:ee"},
                std::string("bad value 'aa:bb:cc:dd:ee' for --mac") + kMac},
        BadLine{{"--mac", "aa-bb-cc-dd-ee-ff"},
                std::string("bad value 'aa-bb-cc-dd-ee-ff' for --mac") + kMac},
        BadLine{{"--mac", "aa:bb:cc:dd:ee:fg"},
                std::string("bad value 'aa:bb:cc:dd:ee:fg' for --mac") + kMac},
        BadLine{{"--mac", "aa:bb:cc:dd:ee:ff:00"},
                std::string("bad value 'aa:bb:cc:dd:ee:ff:00' for --mac") + kMac},
        BadLine{{"--node-type", "102"}, std::string("bad value '102' for --node-type") + kNodeType},
        BadLine{{"--node-type", "01020"},
                std::string("bad value '01020' for --node-type") + kNodeType},
        BadLine{{"--node-type", "zz01"},
                std::string("bad value 'zz01' for --node-type") + kNodeType},
        BadLine{{"--name", "ElevenBytes"}, "bad value 'ElevenBytes' for --name: at most 10 bytes"},
        BadLine{{"--listen-address", "10.1.2"},
                std::string("bad value '10.1.2' for --listen-address") + kAddress},
        BadLine{{"--bind", "localhost"},
                std::string("bad value 'localhost' for --bind") + kAddress},
        BadLine{{"--count", "0"}, "bad value '0' for --count: expected 1 to 4096"},
        BadLine{{"--count", "4097"}, "bad value '4097' for --count: expected 1 to 4096"},
        BadLine{{"--port", "0"}, "bad value '0' for --port: expected 1 to 65535"},
        BadLine{{"--port", "65536"}, "bad value '65536' for --port: expected 1 to 65535"},
        BadLine{{"--port"}, "option '--port' needs a value"},
        BadLine{{"--colour", "red"}, "unknown option '--colour'"},
        BadLine{{"SimNode"}, "unexpected argument 'SimNode'"}),
    // Stable names for ctest: the position in the list.
    [](const testing::TestParamInfo<BadLine>& info) {
        return "Line" + std::to_string(info.index);
    });

TEST(NodeCommandLine, HelpDocumentsEveryOptionAndEveryOutputLine) {
    const std::string help = simnode::UsageText("praveltest-node");
    for (const char* option : {"--name", "--mac", "--node-type", "--version", "--switches",
                               "--options", "--tos", "--ttl", "--listen-to", "--listen-address",
                               "--universe", "--count", "--port", "--bind", "--help"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    for (const char* line : {"ready bind=", "poll from=", "dmx from=", "ignored from="}) {
        EXPECT_NE(help.find(line), std::string::npos) << line;
    }
}

TEST(NodeIdentities, OneNodeKeepsItsNameAndMac) {
    const auto nodes = NodeIdentities(Parsed({"--name", "Dimmer", "--mac", "02:00:00:00:00:09"}));
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].name, "Dimmer");
    EXPECT_EQ(nodes[0].mac, (std::array<std::uint8_t, 6>{2, 0, 0, 0, 0, 9}));
}

TEST(NodeIdentities, ManyNodesAreNumberedAndCountTheMacUpWithCarry) {
    const auto nodes =
        NodeIdentities(Parsed({"--count", "3", "--mac", "02:00:00:00:fe:ff", "--universe", "5"}));
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].name, "SimNode1");
    EXPECT_EQ(nodes[2].name, "SimNode3");
    EXPECT_EQ(nodes[0].mac, (std::array<std::uint8_t, 6>{2, 0, 0, 0, 0xFE, 0xFF}));
    EXPECT_EQ(nodes[1].mac, (std::array<std::uint8_t, 6>{2, 0, 0, 0, 0xFF, 0x00}));
    EXPECT_EQ(nodes[2].mac, (std::array<std::uint8_t, 6>{2, 0, 0, 0, 0xFF, 0x01}));
    for (const auto& node : nodes) EXPECT_EQ(node.universe, 5);
}

// The program lists nodes by name, so numbered names must stay distinct after the wire's
// ten-byte cut, even when the given name already fills all ten.
TEST(NodeIdentities, NumberedNamesStayDistinctOnTheWire) {
    for (const char* name : {"SimNode", "ABCDEFGHIJ", ""}) {
        const auto nodes = NodeIdentities(
            Parsed({"--name", name, "--count", "4096", "--mac", "02:00:00:00:00:00"}));
        ASSERT_EQ(nodes.size(), 4096u);
        std::set<std::string> names;
        std::set<std::array<std::uint8_t, 6>> macs;
        for (const auto& node : nodes) {
            const auto bytes = protocol::WritePollReply(node);
            const auto read = protocol::ReadPollReply(bytes);
            ASSERT_TRUE(read);
            names.insert(read->name);
            macs.insert(read->mac);
        }
        EXPECT_EQ(names.size(), nodes.size()) << name;
        EXPECT_EQ(macs.size(), nodes.size()) << name;
        EXPECT_TRUE(names.count(std::string(name).substr(0, 6) + "4096")) << name;
    }
}

protocol::DmxDataView DmxView(std::vector<std::uint8_t>& bytes) {
    const auto view = protocol::ReadDmxData(bytes);
    EXPECT_TRUE(view);
    return view.value_or(protocol::DmxDataView{});
}

TEST(NodeReportLines, DmxLineGivesBothUniverseFormsAndTheLevelRange) {
    protocol::DmxBuffer buffer;
    const std::size_t length = protocol::BuildDmxData(
        {.universe = 5, .startCode = 0xCC, .dataType = 2, .channelCount = 3, .level = 7}, buffer);
    std::vector<std::uint8_t> bytes(buffer.begin(), buffer.begin() + length);
    EXPECT_EQ(simnode::DmxLine(DmxView(bytes), "10.1.2.3", 3333),
              "dmx from=10.1.2.3:3333 universe=5 universe-byte=4 start-code=204 type=2 "
              "channels=3 levels=7-7");

    std::vector<std::uint8_t> mixed{'V', 'X', 'D', 'D', 0xFF, 0, 1, 0, 4, 9, 0, 255, 40};
    EXPECT_EQ(simnode::DmxLine(DmxView(mixed), "127.0.0.1", 40000),
              "dmx from=127.0.0.1:40000 universe=256 universe-byte=255 start-code=0 type=1 "
              "channels=4 levels=0-255");

    std::vector<std::uint8_t> empty{'V', 'X', 'D', 'D', 0, 0, 1, 0, 0};
    EXPECT_EQ(simnode::DmxLine(DmxView(empty), "127.0.0.1", 1),
              "dmx from=127.0.0.1:1 universe=1 universe-byte=0 start-code=0 type=1 channels=0 "
              "levels=none");
}

TEST(NodeReportLines, OtherLinesCarryTheirFigures) {
    NodeOptions options;
    options.bindAddress = "127.0.0.255";
    options.port = 4000;
    options.count = 12;
    EXPECT_EQ(simnode::ReadyLine(options), "ready bind=127.0.0.255 port=4000 nodes=12");
    EXPECT_EQ(simnode::PollLine("10.1.2.3", 3333, 12), "poll from=10.1.2.3:3333 replies=12");
    EXPECT_EQ(simnode::IgnoredLine("10.1.2.3", 3333, 2), "ignored from=10.1.2.3:3333 length=2");
}

}  // namespace
