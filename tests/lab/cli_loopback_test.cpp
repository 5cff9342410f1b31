// praveltest-cli on loopback: --interface lo sends to 127.0.0.255, where a test socket or
// praveltest-node listens as a node would; replies come back to the tool's bound port.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>

#include "protocol/NodeProtocol.h"
#include "tests/lab/Process.h"
#include "tests/support/PeerSocket.h"

namespace {

using namespace std::chrono_literals;
using lab::CommandResult;
using lab::Process;
using testing_support::Bytes;
using testing_support::PeerSocket;

using ByteVector = std::vector<std::uint8_t>;

const ByteVector kPoll{'V', 'X', 'P', 'P', 0x01};
const ByteVector kTrussReply{'V',  'X',  'P',  'R',  0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x02,
                             0x03, 0x10, 0x0F, 'T',  'r',  'u',  's',  's',  0,    0,    0,
                             0,    0,    0x07, 0x20, 0x40, 0x01, 10,   1,    2,    255,  2};
const ByteVector kFloorReply{'V',  'X',  'P',  'R',  0x02, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00,
                             0x01, 0x01, 0x00, 'F',  'l',  'o',  'o',  'r',  '-',  'L',  'e',
                             'f',  't',  0x00, 0x00, 0xFF, 0x00, 0,    0,    0,    0,    0};

// The milliseconds of each record vary from run to run; everything else is fixed.
std::string WithoutMilliseconds(const std::string& table) {
    return std::regex_replace(table, std::regex(" [0-9]+\n"), " MS\n");
}

class CliOnLoopback : public testing::Test {
protected:
    // Where the tool's broadcast lands on loopback; its port is the tool's --port.
    PeerSocket m_node{"127.0.0.255", 0, true};
    std::string Port() const { return std::to_string(m_node.Port()); }

    // The subcommand, then loopback and the test's port, then args, which may override them.
    std::vector<std::string> Command(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{
            PRAVELTEST_CLI_BINARY, args.front(), "--interface", "lo", "--port", Port()};
        argv.insert(argv.end(), args.begin() + 1, args.end());
        return argv;
    }

    void ExpectNothingSent() {
        const auto got = m_node.Receive(0ms);
        EXPECT_FALSE(got) << "sent " << got->bytes.size() << " bytes";
    }
};

TEST_F(CliOnLoopback, PollListsEachNameOnceWithItsLatestReplyAndCountsTheRest) {
    Process cli(Command({"poll", "--wait", "3"}));
    const auto poll = m_node.Receive(10s);
    ASSERT_TRUE(poll) << cli.Errors();
    EXPECT_EQ(poll->bytes, kPoll);
    EXPECT_EQ(poll->senderPort, m_node.Port()) << "the tool sends from the port it listens on";

    PeerSocket first, second, third;
    const std::uint16_t to = m_node.Port();
    ByteVector trussMoved = kTrussReply;
    trussMoved[32] = 0;
    ByteVector oversized = kTrussReply;
    oversized.resize(700);
    ASSERT_TRUE(first.SendTo("127.0.0.1", to, kTrussReply));
    ASSERT_TRUE(second.SendTo("127.0.0.1", to, kFloorReply));
    for (const ByteVector& other : {ByteVector{}, Bytes("VX"), Bytes("ABCD"), oversized,
                                    ByteVector(kTrussReply.begin(), kTrussReply.end() - 1)}) {
        ASSERT_TRUE(second.SendTo("127.0.0.1", to, other));
    }
    ASSERT_TRUE(third.SendTo("127.0.0.1", to, trussMoved));

    const auto status = cli.Wait(20s);
    ASSERT_TRUE(status) << "still running";
    EXPECT_TRUE(status->Exited(0)) << lab::Describe(*status) << cli.Errors();
    const std::string thirdPort = std::to_string(third.Port());
    const std::string secondPort = std::to_string(second.Port());
    EXPECT_EQ(WithoutMilliseconds(cli.Output()),
              "Name        IP Address  Port   MAC Address        Node Type  Version  "
              "Switch Settings  Options                                                   "
              "Type of Service  Packet TTL  Listen to          Listen IP Address  DMX Universe  "
              "Reply ms\n"
              "Truss       127.0.0.1   " +
                  thirdPort +
                  "  02 11 22 33 44 55  0203       10       0F               "
                  "Node is configured, Enable DHCP, Enable Error Correction  20               40  "
                  "        Class C Broadcast  10.1.2.255         1 (1-512)     MS\n"
                  "Floor-Left  127.0.0.1   " +
                  secondPort + "  02 00 00 00 00 0A  0001       01       00               " +
                  std::string(58, ' ') +  // no option bits
                  "00               FF          Broadcast          "
                  "0.0.0.0            1 (1-512)     MS\n");
    EXPECT_EQ(cli.Errors(),
              "praveltest-cli: ignored 5 datagrams: empty=1 short=1 oversized=1 short-reply=1 "
              "unknown-code=1\n");
}

// A console's DMX traffic on the port must not delay the replies behind it: the window reads
// one datagram a tick and would take ten seconds for these.
TEST_F(CliOnLoopback, RepliesBehindAHundredDmxMessagesAreAllRead) {
    Process cli(Command({"poll", "--wait", "2", "--format", "csv", "--expect", "2"}));
    ASSERT_TRUE(m_node.Receive(10s)) << cli.Errors();
    PeerSocket console, nodes;
    protocol::DmxBuffer buffer;
    const std::size_t length = protocol::BuildDmxData(
        {.universe = 1, .startCode = 0, .dataType = 1, .channelCount = 512, .level = 9}, buffer);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(
            console.SendTo("127.0.0.1", m_node.Port(), {buffer.begin(), buffer.begin() + length}));
    }
    ASSERT_TRUE(nodes.SendTo("127.0.0.1", m_node.Port(), kTrussReply));
    ASSERT_TRUE(nodes.SendTo("127.0.0.1", m_node.Port(), kFloorReply));

    const auto status = cli.Wait(20s);
    ASSERT_TRUE(status) << "still running";
    EXPECT_TRUE(status->Exited(0)) << lab::Describe(*status) << cli.Errors();
    EXPECT_EQ(cli.Errors(), "praveltest-cli: ignored 100 datagrams: dmx=100\n");
    EXPECT_EQ(cli.OutputLines().size(), 3u) << cli.Output();
}

TEST_F(CliOnLoopback, LevelSendsTheWindowsBytesOnceFromTheNodePort) {
    const CommandResult result =
        lab::RunCommand(Command({"level", "128", "--universe", "256", "--channels", "600",
                                 "--start-code", "0xCC", "--format", "zero"}));
    EXPECT_TRUE(result.status.Exited(0)) << lab::Describe(result.status) << result.errors;
    EXPECT_EQ(result.output,
              "sent level=128 universe=256 start-code=204 format=zero type=0 channels=512 "
              "bytes=522 to=127.0.0.255:" +
                  Port() + "\n");
    EXPECT_EQ(result.errors, "");

    ByteVector expected{'V', 'X', 'D', 'D', 0xFF, 0xCC, 0x00, 0x02, 0x00};
    expected.insert(expected.end(), 512, 0x80);
    expected.push_back(0x00);
    const auto got = m_node.Receive(10s);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, expected);
    EXPECT_EQ(got->senderPort, m_node.Port());
    ExpectNothingSent();
}

TEST_F(CliOnLoopback, DryRunPrintsTheDatagramAndSendsNothing) {
    const CommandResult result = lab::RunCommand(Command(
        {"level", "255", "--channels", "20", "--universe", "2", "--format", "rle", "--dry-run"}));
    EXPECT_TRUE(result.status.Exited(0)) << lab::Describe(result.status) << result.errors;
    EXPECT_EQ(result.output,
              "would-send level=255 universe=2 start-code=0 format=rle type=4 channels=20 "
              "bytes=30 to=127.0.0.255:" +
                  Port() +
                  "\n"
                  "56 58 44 44 01 00 04 00 14 FF FF FF FF FF FF FF\n"
                  "FF FF FF FF FF FF FF FF FF FF FF FF FF 00\n");
    ExpectNothingSent();
}

struct RefusedCase {
    std::vector<std::string> args;
    std::string error;  // the start of standard error
};

TEST_F(CliOnLoopback, BadInputExitsWithTwoAndSendsNothing) {
    const std::vector<RefusedCase> cases{
        {{"level", "300"}, "praveltest-cli: bad LEVEL '300': expected 0 to 255\nTry '"},
        {{"poll", "--format", "yaml"},
         "praveltest-cli: bad value 'yaml' for --format: expected table, json or csv\nTry '"},
        {{"level", "1", "--interface", "nosuch0"},
         "praveltest-cli: no interface named 'nosuch0'; up with IPv4: "},
        {{"poll", "--interface", "192.0.2.1"},
         "praveltest-cli: 192.0.2.1 is not an IPv4 address of this host; up with IPv4: "},
    };
    for (const RefusedCase& each : cases) {
        const CommandResult result = lab::RunCommand(Command(each.args));
        EXPECT_TRUE(result.status.Exited(2)) << lab::Describe(result.status) << each.error;
        EXPECT_EQ(result.errors.substr(0, each.error.size()), each.error);
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'),
                  each.error.ends_with("Try '") ? 2 : 1)
            << result.errors;
        EXPECT_EQ(result.output, "");
        ExpectNothingSent();
    }
}

TEST_F(CliOnLoopback, HelpAndVersionExitWithZero) {
    const CommandResult version = lab::RunCommand({PRAVELTEST_CLI_BINARY, "--version"});
    EXPECT_TRUE(version.status.Exited(0));
    EXPECT_EQ(version.output, "praveltest-cli 1.0.0.1\n");
    const CommandResult help = lab::RunCommand({PRAVELTEST_CLI_BINARY, "level", "--help"});
    EXPECT_TRUE(help.status.Exited(0));
    EXPECT_EQ(help.output.substr(0, 7), "Usage: ");
    EXPECT_NE(help.output.find("--dry-run"), std::string::npos);
    EXPECT_EQ(help.errors, "");
}

// With praveltest-node as the nodes: --expect decides the exit status and says how many came.
class CliBesideNode : public testing::Test {
protected:
    void SetUp() override {
        PeerSocket reservation("0.0.0.0", 0, true);
        m_port = std::to_string(reservation.Port());
        m_node = std::make_unique<Process>(std::vector<std::string>{
            PRAVELTEST_NODE_BINARY, "--bind", "127.0.0.255", "--port", m_port, "--count", "2",
            "--name", "Dimmer", "--universe", "4"});
        ASSERT_TRUE(m_node->WaitForLineStartingWith("ready ", 10s)) << m_node->Errors();
    }

    CommandResult Poll(const std::string& expect) {
        return lab::RunCommand({PRAVELTEST_CLI_BINARY, "poll", "--interface", "lo", "--port",
                                m_port, "--wait", "1", "--format", "json", "--expect", expect},
                               20s);
    }

    std::string m_port;
    std::unique_ptr<Process> m_node;
};

TEST_F(CliBesideNode, ExpectSaysHowManyAnswered) {
    struct Case {
        std::string expect;
        int status;
        std::string errors;
    };
    for (const Case& each :
         {Case{"2", 0, ""}, Case{"3", 1, "praveltest-cli: 2 of 3 expected nodes answered\n"}}) {
        const CommandResult result = Poll(each.expect);
        EXPECT_TRUE(result.status.Exited(each.status)) << lab::Describe(result.status);
        EXPECT_EQ(result.errors, each.errors);
        const std::string masked = std::regex_replace(
            result.output, std::regex(R"j("port": [0-9]+(.*)"reply_ms": [0-9]+)j"),
            "\"port\": P$1\"reply_ms\": MS");
        EXPECT_EQ(masked,
                  R"j({"name": "Dimmer1", "ip_address": "127.0.0.1", "port": P, )j"
                  R"j("mac_address": "02 00 00 00 00 01", "node_type": "0001", "version": "01", )j"
                  R"j("switch_settings": "00", "options": "Node is configured, ", )j"
                  R"j("type_of_service": "00", "packet_ttl": "40", "listen_to": "Broadcast", )j"
                  R"j("listen_ip_address": "0.0.0.0", "dmx_universe": "5 (2049-2560)", )j"
                  R"j("reply_ms": MS})j"
                  "\n"
                  R"j({"name": "Dimmer2", "ip_address": "127.0.0.1", "port": P, )j"
                  R"j("mac_address": "02 00 00 00 00 02", "node_type": "0001", "version": "01", )j"
                  R"j("switch_settings": "00", "options": "Node is configured, ", )j"
                  R"j("type_of_service": "00", "packet_ttl": "40", "listen_to": "Broadcast", )j"
                  R"j("listen_ip_address": "0.0.0.0", "dmx_universe": "5 (2049-2560)", )j"
                  R"j("reply_ms": MS})j"
                  "\n");
    }
    EXPECT_EQ(m_node->WaitForLines(3, 10s).size(), 3u) << "one poll per run";
}

}  // namespace
