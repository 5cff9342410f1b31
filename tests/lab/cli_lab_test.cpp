// praveltest-cli on the lab's tool host, where its host-name lookup finds 10.1.2.3 as the
// window's does, with praveltest-node on other hosts of the bridge.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <sstream>

#include "protocol/NodeProtocol.h"
#include "tests/lab/Lab.h"
#include "tests/lab/Process.h"
#include "tests/support/PeerSocket.h"

namespace {

using namespace std::chrono_literals;
using lab::CommandResult;
using testing_support::PeerSocket;

class CliInLab : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_LAB();
        m_lab = std::make_unique<lab::Lab>();
    }

    void StartNode(const std::string& address, std::vector<std::string> args, int network = 0) {
        const std::string host = m_lab->AddHost(address, -1, network);
        args.insert(args.begin(), PRAVELTEST_NODE_BINARY);
        m_nodes.push_back(std::make_unique<lab::Process>(lab::NamespaceCommand(host, args)));
        EXPECT_TRUE(m_nodes.back()->WaitForLineStartingWith("ready ", 10s))
            << m_nodes.back()->Errors();
    }

    CommandResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), PRAVELTEST_CLI_BINARY);
        return lab::RunCommand(m_lab->ExecCommand(m_lab->ToolNamespace(), args), 20s);
    }

    std::unique_ptr<lab::Lab> m_lab;
    std::vector<std::unique_ptr<lab::Process>> m_nodes;
};

// The header, then the records sorted, with the node's reply port and the milliseconds
// masked: both vary from run to run, and so does which node answers first.
std::vector<std::string> MaskedTable(const std::string& table) {
    std::vector<std::string> lines;
    std::istringstream in(table);
    for (std::string line; std::getline(in, line);) {
        line = std::regex_replace(line, std::regex("^(\\S+ +\\S+ +)[0-9]{5}"), "$1#####");
        lines.push_back(std::regex_replace(line, std::regex(" [0-9]+$"), " MS"));
    }
    if (!lines.empty()) std::sort(lines.begin() + 1, lines.end());
    return lines;
}

TEST_F(CliInLab, PollFindsEveryNodeOnTheClassCBroadcast) {
    StartNode("10.1.2.20", {"--name", "Stage", "--universe", "3", "--mac", "02:00:00:00:10:01"});
    StartNode("10.1.2.21",
              {"--name", "Truss", "--options", "7", "--listen-to", "1", "--listen-address",
               "10.1.2.255", "--node-type", "0203", "--version", "0x10", "--ttl", "32"});

    const CommandResult result = Cli({"poll", "--wait", "2", "--expect", "2"});
    EXPECT_TRUE(result.status.Exited(0)) << lab::Describe(result.status) << result.errors;
    const std::vector<std::string> expected{
        "Name   IP Address  Port   MAC Address        Node Type  Version  Switch Settings  "
        "Options                                                   Type of Service  Packet TTL  "
        "Listen to          Listen IP Address  DMX Universe   Reply ms",
        "Stage  10.1.2.20   #####  02 00 00 00 10 01  0001       01       00               "
        "Node is configured,                                       00               40          "
        "Broadcast          0.0.0.0            4 (1537-2048)  MS",
        "Truss  10.1.2.21   #####  02 00 00 00 00 01  0203       10       00               "
        "Node is configured, Enable DHCP, Enable Error Correction  00               20          "
        "Class C Broadcast  10.1.2.255         1 (1-512)      MS",
    };
    EXPECT_EQ(MaskedTable(result.output), expected) << result.output;
    // Its own broadcast comes back to it, as to the window.
    EXPECT_EQ(result.errors, "praveltest-cli: ignored 1 datagram: poll=1\n");
    for (const auto& node : m_nodes) {
        EXPECT_EQ(node->WaitForLineStartingWith("poll ", 10s).value_or(node->Output()),
                  "poll from=10.1.2.3:3333 replies=1");
    }
}

TEST_F(CliInLab, ExpectFailsWhenANodeIsMissing) {
    StartNode("10.1.2.20", {"--count", "3"});
    const CommandResult result = Cli({"poll", "--wait", "1", "--expect", "4", "--format", "csv"});
    EXPECT_TRUE(result.status.Exited(1)) << lab::Describe(result.status);
    EXPECT_EQ(result.errors,
              "praveltest-cli: ignored 1 datagram: poll=1\n"
              "praveltest-cli: 3 of 4 expected nodes answered\n");
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 4) << result.output;
}

TEST_F(CliInLab, LevelReachesTheNodesOnceWithTheWindowsBytes) {
    StartNode("10.1.2.20", {});
    const std::string observerHost = m_lab->AddHost("10.1.2.21");
    auto observer = lab::InNamespace(observerHost, [] {
        return std::make_unique<PeerSocket>("0.0.0.0", protocol::kNodePort, true);
    });

    const CommandResult result =
        Cli({"level", "200", "--universe", "3", "--channels", "24", "--start-code", "0x55"});
    EXPECT_TRUE(result.status.Exited(0)) << lab::Describe(result.status) << result.errors;
    EXPECT_EQ(result.output,
              "sent level=200 universe=3 start-code=85 format=raw type=1 channels=24 bytes=34 "
              "to=10.1.2.255:3333\n");

    const auto got = observer->Receive(10s);
    ASSERT_TRUE(got);
    std::vector<std::uint8_t> expected{'V', 'X', 'D', 'D', 0x02, 0x55, 0x01, 0x00, 0x18};
    expected.insert(expected.end(), 24, 200);
    expected.push_back(0);
    EXPECT_EQ(got->bytes, expected);
    EXPECT_EQ(got->senderAddress, lab::kToolAddress);
    EXPECT_EQ(got->senderPort, protocol::kNodePort);
    EXPECT_EQ(m_nodes[0]->WaitForLineStartingWith("dmx ", 10s).value_or(m_nodes[0]->Output()),
              "dmx from=10.1.2.3:3333 universe=3 universe-byte=2 start-code=85 type=1 "
              "channels=24 levels=200-200");
    EXPECT_FALSE(observer->Receive(300ms)) << "one message only";
}

// With two networks, --interface picks which one hears the poll; the other stays silent.
TEST_F(CliInLab, InterfaceChoosesTheNetwork) {
    m_lab->AddSecondNetwork();
    StartNode("10.1.2.21", {"--name", "Office"});
    StartNode("10.7.0.21", {"--name", "Rig"}, 1);

    const CommandResult result =
        Cli({"poll", "--interface", "eth1", "--wait", "1", "--format", "csv"});
    EXPECT_TRUE(result.status.Exited(0)) << lab::Describe(result.status) << result.errors;
    const std::string masked =
        std::regex_replace(result.output, std::regex(",[0-9]+,(.*),[0-9]+\n"), ",P,$1,MS\n");
    EXPECT_EQ(masked,
              "Name,IP Address,Port,MAC Address,Node Type,Version,Switch Settings,Options,"
              "Type of Service,Packet TTL,Listen to,Listen IP Address,DMX Universe,Reply ms\n"
              "Rig,10.7.0.21,P,02 00 00 00 00 01,0001,01,00,\"Node is configured, \",00,40,"
              "Broadcast,0.0.0.0,1 (1-512),MS\n");
    EXPECT_EQ(m_nodes[0]->OutputLines().size(), 1u) << "the first network heard the poll";
}

}  // namespace
