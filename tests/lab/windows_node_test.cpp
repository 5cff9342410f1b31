// praveltest-node.exe, cross-built for Windows, run under Wine: on loopback its bad options,
// a port already taken and Ctrl+C end it as on Linux; in the lab the real window finds it and
// drives it across the bridge.
#include <gtest/gtest.h>
#include <signal.h>

#include <QSlider>
#include <QTreeWidget>
#include <filesystem>
#include <memory>

#include "testing/Process.h"
#include "tests/lab/Wine.h"
#include "tests/support/MainWindowFixture.h"

namespace {

using namespace std::chrono_literals;
using testing_support::PeerSocket;

const std::vector<std::uint8_t> kPoll(protocol::kPollMessage.begin(), protocol::kPollMessage.end());
// A cold Wine start on a busy machine.
constexpr auto kWineStart = 30s;

using testing_support::FindWine;
using testing_support::WinePrefix;
#define REQUIRE_WINDOWS_NODE() REQUIRE_WINDOWS_BUILD(PRAVELTEST_WINDOWS_NODE)

class WindowsNode : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_WINDOWS_NODE();
        m_prefix = std::make_unique<WinePrefix>();
    }
    void TearDown() override {
        m_node.reset();
        m_prefix.reset();
    }

    std::vector<std::string> Command(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{FindWine(), PRAVELTEST_WINDOWS_NODE};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    lab::Process& Start(const std::vector<std::string>& argv) {
        m_node = std::make_unique<lab::Process>(argv, m_prefix->Environment());
        return *m_node;
    }

    std::unique_ptr<WinePrefix> m_prefix;
    std::unique_ptr<lab::Process> m_node;
};

TEST_F(WindowsNode, BadOptionExitsWithTwoAndSaysWhy) {
    lab::Process& node = Start(Command({"--mac", "not-a-mac"}));
    const auto status = node.Wait(kWineStart);
    ASSERT_TRUE(status) << "still running";
    EXPECT_TRUE(status->Exited(2)) << lab::Describe(*status);
    const std::string errors = node.Errors();
    EXPECT_TRUE(
        errors.starts_with("praveltest-node: bad value 'not-a-mac' for --mac: expected "
                           "six hex pairs like aa:bb:cc:dd:ee:ff\nTry '"))
        << errors;
    EXPECT_TRUE(errors.ends_with("praveltest-node.exe --help'.\n")) << errors;
    EXPECT_EQ(node.Output(), "");
}

TEST_F(WindowsNode, PortTakenWithoutAddressReuseExitsWithOne) {
    PeerSocket holder("127.0.0.1", 0, false);
    lab::Process& node =
        Start(Command({"--bind", "127.0.0.1", "--port", std::to_string(holder.Port())}));
    const auto status = node.Wait(kWineStart);
    ASSERT_TRUE(status) << "still running; it bound a port that is taken";
    EXPECT_TRUE(status->Exited(1)) << lab::Describe(*status);
    EXPECT_TRUE(node.Errors().starts_with(
        "praveltest-node: cannot bind 127.0.0.1:" + std::to_string(holder.Port()) + ": "))
        << node.Errors();
    EXPECT_EQ(node.Output(), "");
}

// Wine hands a SIGINT to the console control handlers as CTRL_C_EVENT, as a terminal's
// Ctrl+C reaches a console program on Windows.
TEST_F(WindowsNode, AnswersOnLoopbackAndCtrlCEndsItWithZero) {
    // Held with address reuse on the wildcard, so the port stays ours while the node's more
    // specific binding still gets what is sent to 127.0.0.1.
    const PeerSocket reservation("0.0.0.0", 0, true);
    const std::uint16_t port = reservation.Port();
    lab::Process& node = Start(Command({"--bind", "127.0.0.1", "--port", std::to_string(port)}));
    ASSERT_TRUE(node.WaitForLineStartingWith("ready ", kWineStart)) << node.Errors();
    PeerSocket program;
    ASSERT_TRUE(program.SendTo("127.0.0.1", port, kPoll));
    const auto reply = program.Receive(5s);
    ASSERT_TRUE(reply) << node.Errors();
    EXPECT_EQ(reply->bytes.size(), protocol::kPollReplyLength);
    EXPECT_TRUE(node.WaitForLineStartingWith("poll ", 5s));

    node.Signal(SIGINT);
    const auto status = node.Wait(10s);
    ASSERT_TRUE(status) << "still running after Ctrl+C";
    EXPECT_TRUE(status->Exited(0)) << lab::Describe(*status);
    EXPECT_EQ(node.Output(), "ready bind=127.0.0.1 port=" + std::to_string(port) +
                                 " nodes=1\npoll from=127.0.0.1:" + std::to_string(program.Port()) +
                                 " replies=1\n");
}

// The real window on the lab's tool host; the Windows node on a host of its own.
class WindowsNodeInLab : public testing_support::MainWindowFixture {
protected:
    testing_support::Network NetworkInUse() const override { return testing_support::Network::Lab; }
    void SetUp() override {
        REQUIRE_WINDOWS_NODE();
        MainWindowFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        m_prefix = std::make_unique<WinePrefix>();
    }
    void TearDown() override {
        m_node.reset();
        m_prefix.reset();
        MainWindowFixture::TearDown();
    }

    QTreeWidget* Tree() const { return qobject_cast<QTreeWidget*>(Item(res::kIdTree)); }

    std::unique_ptr<WinePrefix> m_prefix;
    std::unique_ptr<lab::Process> m_node;
};

TEST_F(WindowsNodeInLab, IsListedInTheTreeAndPrintsTheSlidersDmxData) {
    const std::string host = lab->AddHost("10.1.2.21");
    m_node = std::make_unique<lab::Process>(
        lab::NamespaceCommand(host, {FindWine(), PRAVELTEST_WINDOWS_NODE, "--name", "WineNode",
                                     "--mac", "02:0a:0b:0c:0d:0e", "--universe", "4"}),
        m_prefix->Environment());
    ASSERT_TRUE(m_node->WaitForLineStartingWith("ready ", kWineStart)) << m_node->Errors();

    OpenShown();
    testing_support::RunEventsUntil(
        5s, [this] { return Tree()->topLevelItemCount() > 0; }, 20);
    ASSERT_EQ(Tree()->topLevelItemCount(), 1) << m_node->Output() << m_node->Errors();
    const QTreeWidgetItem* entry = Tree()->topLevelItem(0);
    EXPECT_EQ(entry->text(0).toStdString(), "WineNode");
    std::vector<std::string> rows;
    for (int row = 0; row < entry->childCount(); ++row) {
        rows.push_back(entry->child(row)->text(0).toStdString());
    }
    EXPECT_EQ(rows,
              (std::vector<std::string>{
                  "IP Address: 10.1.2.21", "MAC Address: 02 0A 0B 0C 0D 0E", "Node Type: 0001",
                  "Version: 01", "Switch Settings: 00", "Options: Node is configured, ",
                  "Type of Service: 00", "Packet TTL: 40", "Listen to: Broadcast",
                  "Listen IP Address: 0.0.0.0", "DMX Universe: 5 (2049-2560)"}));

    QSlider* slider = qobject_cast<QSlider*>(Item(res::kIdSlider));
    QTest::keyClick(slider, Qt::Key_Home);
    QTest::keyClick(slider, Qt::Key_PageDown);
    // Each key press is a scroll and an end-of-scroll notification: two messages.
    const auto dmxLines = [this] {
        std::vector<std::string> lines;
        for (const std::string& line : m_node->OutputLines()) {
            if (line.starts_with("dmx ")) lines.push_back(line);
        }
        return lines;
    };
    testing_support::RunEventsUntil(
        5s, [&dmxLines] { return dmxLines().size() >= 4; }, 20);
    const std::string full =
        "dmx from=10.1.2.3:3333 universe=1 universe-byte=0 start-code=0 type=1 channels=512 "
        "levels=255-255";
    const std::string pageDown =
        "dmx from=10.1.2.3:3333 universe=1 universe-byte=0 start-code=0 type=1 channels=512 "
        "levels=239-239";
    EXPECT_EQ(dmxLines(), (std::vector<std::string>{full, full, pageDown, pageDown}))
        << m_node->Output();
    EXPECT_EQ(m_node->OutputLines().at(1), "poll from=10.1.2.3:3333 replies=1");
    EXPECT_TRUE(messages.Messages().empty());
}

}  // namespace
