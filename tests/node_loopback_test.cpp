// The praveltest-node program on loopback: what it sends, what it prints, how it ends, and
// how it shares the node port with the program on one host.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <set>

#include "protocol/NodeProtocol.h"
#include "testing/LabNode.h"
#include "testing/PeerSocket.h"

namespace {

using namespace std::chrono_literals;
using lab::Process;
using testing_support::Bytes;
using testing_support::PeerSocket;

const std::vector<std::uint8_t> kPoll(protocol::kPollMessage.begin(), protocol::kPollMessage.end());

class NodeProgram : public testing::Test {
protected:
    // Starts the node and waits until its socket is bound.
    Process& Start(const std::vector<std::string>& args) {
        m_node = lab::StartNode(PRAVELTEST_NODE_BINARY, "", args);
        return *m_node;
    }

    // The ready line and count more.
    std::vector<std::string> WaitForLines(std::size_t count) {
        return m_node->OutputLines(count + 1, 10s);
    }

    // The wildcard with address reuse keeps the port ours for the test, while the node's
    // more specific binding still gets every datagram sent to 127.0.0.1.
    std::uint16_t Port() const { return m_reservation.Port(); }

    std::unique_ptr<Process> m_node;
    PeerSocket m_reservation{"0.0.0.0", 0, true};
};

TEST_F(NodeProgram, AnswersAPollFromAnEphemeralPortWithItsOwnIdentity) {
    const std::uint16_t port = Port();
    Start({"--bind", "127.0.0.1", "--port", std::to_string(port), "--name", "Truss", "--mac",
           "02:11:22:33:44:55", "--node-type", "0203", "--universe", "9", "--listen-to", "1"});
    PeerSocket program;
    ASSERT_TRUE(program.SendTo("127.0.0.1", port, kPoll));

    const auto reply = program.Receive(10s);
    ASSERT_TRUE(reply) << m_node->Errors();
    const std::vector<std::uint8_t> expected{'V',  'X',  'P',  'R',  0x02, 0x11, 0x22, 0x33, 0x44,
                                             0x55, 0x02, 0x03, 0x01, 0x00, 'T',  'r',  'u',  's',
                                             's',  0,    0,    0,    0,    0,    0x01, 0x00, 0x40,
                                             0x01, 0,    0,    0,    0,    9};
    EXPECT_EQ(reply->bytes, expected);
    EXPECT_EQ(reply->senderAddress, "127.0.0.1");
    EXPECT_NE(reply->senderPort, port) << "replies must not come from the listening socket";
    EXPECT_FALSE(program.Receive(200ms)) << "one node sends one reply";

    const auto line = m_node->WaitForLineStartingWith("poll ", 10s);
    EXPECT_EQ(line.value_or(""),
              "poll from=127.0.0.1:" + std::to_string(program.Port()) + " replies=1");
}

TEST_F(NodeProgram, ManyNodesAllAnswerOnePoll) {
    const std::uint16_t port = Port();
    Start({"--bind", "127.0.0.1", "--port", std::to_string(port), "--count", "200"});
    PeerSocket program;
    ASSERT_TRUE(program.SendTo("127.0.0.1", port, kPoll));

    const auto replies = program.ReceiveFor(10s, 200);
    std::set<std::string> names;
    std::set<std::vector<std::uint8_t>> macs;
    for (const auto& reply : replies) {
        const auto message = protocol::ReadPollReply(reply.bytes);
        ASSERT_TRUE(message);
        ASSERT_EQ(reply.bytes.size(), protocol::kPollReplyLength);
        names.insert(message->name);
        macs.insert({message->mac.begin(), message->mac.end()});
    }
    EXPECT_EQ(replies.size(), 200u);
    EXPECT_FALSE(program.Receive(200ms)) << "one reply per node";
    EXPECT_EQ(names.size(), 200u);
    EXPECT_EQ(macs.size(), 200u);
    EXPECT_TRUE(names.count("SimNode1") && names.count("SimNode200"));
    EXPECT_TRUE(
        m_node->WaitForLineStartingWith("poll ", 10s).value_or("").ends_with(" replies=200"));
}

TEST_F(NodeProgram, PrintsALinePerDmxMessageAndNamesWhatItIgnores) {
    const std::uint16_t port = Port();
    Start({"--bind", "127.0.0.1", "--port", std::to_string(port)});
    PeerSocket program;
    const std::string from = "from=127.0.0.1:" + std::to_string(program.Port());

    protocol::DmxBuffer buffer;
    const std::size_t length = protocol::BuildDmxData(
        {.universe = 3, .startCode = 0, .dataType = 1, .channelCount = 512, .level = 200}, buffer);
    ASSERT_TRUE(program.SendTo("127.0.0.1", port, {buffer.begin(), buffer.begin() + length}));
    ASSERT_TRUE(
        program.SendTo("127.0.0.1", port, {'V', 'X', 'D', 'D', 0, 0x55, 4, 0, 3, 1, 2, 30}));
    // Says 16 channels but carries 2: not a DMX message the node can read.
    ASSERT_TRUE(program.SendTo("127.0.0.1", port, {'V', 'X', 'D', 'D', 0, 0, 1, 0, 16, 1, 2}));
    ASSERT_TRUE(program.SendTo("127.0.0.1", port, Bytes("VXPR")));

    const auto lines = WaitForLines(4);
    ASSERT_EQ(lines.size(), 5u) << m_node->Output();
    EXPECT_EQ(lines[1], "dmx " + from +
                            " universe=3 universe-byte=2 start-code=0 type=1 channels=512 "
                            "levels=200-200");
    EXPECT_EQ(lines[2], "dmx " + from +
                            " universe=1 universe-byte=0 start-code=85 type=4 channels=3 "
                            "levels=1-30");
    EXPECT_EQ(lines[3], "ignored " + from + " length=11");
    EXPECT_EQ(lines[4], "ignored " + from + " length=4");
    EXPECT_FALSE(program.Receive(100ms)) << "only polls are answered";
}

class NodeProgramStops : public NodeProgram, public testing::WithParamInterface<int> {};

TEST_P(NodeProgramStops, CleanlyOnTheSignal) {
    Process& node = Start({"--bind", "127.0.0.1", "--port", std::to_string(Port())});
    node.Signal(GetParam());
    const auto status = node.Wait(10s);
    ASSERT_TRUE(status) << "still running after the signal";
    EXPECT_TRUE(status->Exited(0)) << lab::Describe(*status);
}

INSTANTIATE_TEST_SUITE_P(Signals, NodeProgramStops, testing::Values(SIGTERM, SIGINT));

TEST_F(NodeProgram, BadCommandLineExitsWithTwoAndSaysWhy) {
    const auto result = lab::RunCommand({PRAVELTEST_NODE_BINARY, "--mac", "not-a-mac"});
    EXPECT_TRUE(result.status.Exited(2)) << lab::Describe(result.status);
    EXPECT_NE(result.errors.find("--mac"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("--help"), std::string::npos) << result.errors;
    EXPECT_EQ(result.output, "");
}

TEST_F(NodeProgram, HelpExitsWithZero) {
    const auto result = lab::RunCommand({PRAVELTEST_NODE_BINARY, "--help"});
    EXPECT_TRUE(result.status.Exited(0)) << lab::Describe(result.status);
    EXPECT_NE(result.output.find("--count"), std::string::npos);
    EXPECT_EQ(result.errors, "");
}

TEST_F(NodeProgram, PortTakenWithoutAddressReuseExitsWithOne) {
    PeerSocket holder("127.0.0.1", 0, false);
    const auto result = lab::RunCommand(
        {PRAVELTEST_NODE_BINARY, "--bind", "127.0.0.1", "--port", std::to_string(holder.Port())});
    EXPECT_TRUE(result.status.Exited(1)) << lab::Describe(result.status);
    EXPECT_NE(result.errors.find("cannot bind 127.0.0.1:" + std::to_string(holder.Port())),
              std::string::npos)
        << result.errors;
}

// The program binds 0.0.0.0 on the node port with address reuse and sends to a.b.c.255; on
// loopback that address is an ordinary local one. A node bound to it hears the program, yet
// replies to the program's own address still go to the program alone.
class NodeBesideProgram : public NodeProgram {
protected:
    void SetUp() override {
        m_program = std::make_unique<PeerSocket>("0.0.0.0", 0, true);
        m_port = m_program->Port();
        Start({"--bind", "127.0.0.255", "--port", std::to_string(m_port), "--name", "Beside"});
    }

    std::uint16_t m_port = 0;
    std::unique_ptr<PeerSocket> m_program;
};

TEST_F(NodeBesideProgram, ProgramsPollIsAnsweredToTheProgram) {
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(m_program->SendTo("127.0.0.255", m_port, kPoll));
        const auto reply = m_program->Receive(10s);
        ASSERT_TRUE(reply) << "round " << round << "; node said: " << m_node->Output();
        const auto message = protocol::ReadPollReply(reply->bytes);
        ASSERT_TRUE(message && protocol::HasCode(reply->bytes, protocol::kCodePollReply));
        EXPECT_EQ(message->name, "Beside");
    }
}

TEST_F(NodeBesideProgram, UnicastToTheProgramNeverReachesTheNode) {
    PeerSocket elsewhere;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(elsewhere.SendTo("127.0.0.1", m_port, Bytes("VXPR from a node")));
        const auto got = m_program->Receive(10s);
        ASSERT_TRUE(got) << "datagram " << i << " was taken from the program";
    }
    ASSERT_TRUE(m_program->SendTo("127.0.0.255", m_port, Bytes("XX")));
    // The node reports this one; anything before it would mean it took a reply.
    const auto lines = WaitForLines(1);
    ASSERT_EQ(lines.size(), 2u) << m_node->Output();
    EXPECT_TRUE(lines[1].starts_with("ignored ")) << lines[1];
    EXPECT_TRUE(lines[1].ends_with(" length=2")) << lines[1];
}

TEST_F(NodeBesideProgram, ProgramsDmxDataReachesTheNode) {
    protocol::DmxBuffer buffer;
    const std::size_t length = protocol::BuildDmxData(
        {.universe = 1, .startCode = 0, .dataType = 1, .channelCount = 24, .level = 255}, buffer);
    ASSERT_TRUE(
        m_program->SendTo("127.0.0.255", m_port, {buffer.begin(), buffer.begin() + length}));
    const auto line = m_node->WaitForLineStartingWith("dmx ", 10s);
    ASSERT_TRUE(line) << m_node->Output();
    EXPECT_TRUE(
        line->ends_with(" universe=1 universe-byte=0 start-code=0 type=1 channels=24 "
                        "levels=255-255"))
        << *line;
}

}  // namespace
