// praveltest-node on a lab host, heard and answered across the bridge as a real node would be,
// and beside the program on the program's own host.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>

#include "protocol/NodeProtocol.h"
#include "testing/LabNode.h"
#include "testing/PeerSocket.h"
#include "tests/lab/RequireLab.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Bytes;
using testing_support::PeerSocket;

const std::vector<std::uint8_t> kPoll(protocol::kPollMessage.begin(), protocol::kPollMessage.end());

std::vector<std::uint8_t> DmxMessage(const protocol::DmxDataFields& fields) {
    protocol::DmxBuffer buffer;
    const std::size_t length = protocol::BuildDmxData(fields, buffer);
    return {buffer.begin(), buffer.begin() + length};
}

class NodeInLab : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_LAB();
        m_lab = std::make_unique<lab::Lab>();
        m_program = lab::InNamespace(m_lab->ToolNamespace(), [] {
            return std::make_unique<PeerSocket>("0.0.0.0", protocol::kNodePort, true);
        });
    }

    // The node in ns, once its socket is bound.
    lab::Process& StartNode(const std::string& ns, const std::vector<std::string>& args) {
        m_node = lab::StartNode(PRAVELTEST_NODE_BINARY, ns, args);
        return *m_node;
    }

    // The first datagram that is not the program's own broadcast coming back to it.
    std::optional<testing_support::Datagram> ReceiveFromOthers(std::chrono::milliseconds wait) {
        return m_program->ReceiveMatching(wait, [](const testing_support::Datagram& got) {
            return got.senderAddress != lab::kToolAddress || got.senderPort != protocol::kNodePort;
        });
    }

    std::unique_ptr<lab::Lab> m_lab;
    std::unique_ptr<PeerSocket> m_program;  // stands where the program's endpoint stands
    std::unique_ptr<lab::Process> m_node;
};

TEST_F(NodeInLab, AnswersTheBroadcastPollWithExactlyItsReply) {
    const std::string host = m_lab->AddHost("10.1.2.20");
    StartNode(host, {"--name",
                     "LabNode",
                     "--mac",
                     "02:aa:bb:cc:dd:ee",
                     "--node-type",
                     "1234",
                     "--version",
                     "3",
                     "--switches",
                     "0x80",
                     "--options",
                     "6",
                     "--tos",
                     "2",
                     "--ttl",
                     "32",
                     "--listen-to",
                     "1",
                     "--listen-address",
                     "10.1.2.255",
                     "--universe",
                     "7"});
    ASSERT_TRUE(m_program->SendTo("10.1.2.255", protocol::kNodePort, kPoll));

    const auto reply = ReceiveFromOthers(10s);
    ASSERT_TRUE(reply) << m_node->Output() << m_node->Errors();
    const std::vector<std::uint8_t> expected{'V',  'X',  'P',  'R',  0x02, 0xAA, 0xBB, 0xCC, 0xDD,
                                             0xEE, 0x12, 0x34, 0x03, 0x80, 'L',  'a',  'b',  'N',
                                             'o',  'd',  'e',  0,    0,    0,    0x06, 0x02, 0x20,
                                             0x01, 10,   1,    2,    255,  7};
    EXPECT_EQ(reply->bytes, expected);
    EXPECT_EQ(reply->senderAddress, "10.1.2.20");
    EXPECT_FALSE(ReceiveFromOthers(300ms)) << "one node sends one reply";
    EXPECT_EQ(m_node->WaitForLineStartingWith("poll ", 10s).value_or(""),
              "poll from=10.1.2.3:3333 replies=1");
}

TEST_F(NodeInLab, ReportsDmxDataAndEndsCleanlyOnSigterm) {
    const std::string host = m_lab->AddHost("10.1.2.20");
    lab::Process& node = StartNode(host, {});
    ASSERT_TRUE(m_program->SendTo(
        "10.1.2.255", protocol::kNodePort,
        DmxMessage(
            {.universe = 12, .startCode = 0, .dataType = 1, .channelCount = 48, .level = 128})));

    EXPECT_EQ(node.WaitForLineStartingWith("dmx ", 10s).value_or(node.Output()),
              "dmx from=10.1.2.3:3333 universe=12 universe-byte=11 start-code=0 type=1 "
              "channels=48 levels=128-128");

    node.Signal(SIGTERM);
    const auto status = node.Wait(2s);
    ASSERT_TRUE(status) << "still running after SIGTERM";
    EXPECT_TRUE(status->Exited(0)) << lab::Describe(*status);
}

// The arrangement for one machine on a LAN: the node listens on the program's broadcast
// address, so it hears the program yet leaves the replies sent to the program alone.
TEST_F(NodeInLab, BesideTheProgramOnItsHostTheRepliesStillReachTheProgram) {
    StartNode(m_lab->ToolNamespace(), {"--bind", "10.1.2.255", "--name", "OnHost"});
    ASSERT_TRUE(m_program->SendTo("10.1.2.255", protocol::kNodePort, kPoll));
    const auto reply = ReceiveFromOthers(10s);
    ASSERT_TRUE(reply) << m_node->Output() << m_node->Errors();
    const auto message = protocol::ReadPollReply(reply->bytes);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->name, "OnHost");
    EXPECT_EQ(reply->senderAddress, lab::kToolAddress);

    // A real node elsewhere answers to the program's address; that must not go to this node.
    const std::string other = m_lab->AddHost("10.1.2.30");
    auto realNode = lab::InNamespace(other, [] { return std::make_unique<PeerSocket>("0.0.0.0"); });
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(realNode->SendTo(lab::kToolAddress, protocol::kNodePort, Bytes("VXPR reply")));
        const auto got = ReceiveFromOthers(10s);
        ASSERT_TRUE(got) << "reply " << i << " did not reach the program";
        EXPECT_EQ(got->senderAddress, "10.1.2.30");
    }
    ASSERT_TRUE(m_program->SendTo("10.1.2.255", protocol::kNodePort, Bytes("XX")));
    const auto lines = m_node->OutputLines(3, 10s);
    ASSERT_EQ(lines.size(), 3u) << m_node->Output();
    EXPECT_EQ(lines[2], "ignored from=10.1.2.3:3333 length=2") << "the node took a reply";
}

}  // namespace
