// The real main window on the lab's two-network host, following the network: the interface
// chosen in its Network window and kept for the next start, that adapter pulled, plugged back
// in and given a new lease, and what the window says when its poll never comes back.
#include <QTest>
#include <optional>

#include "testing/PeerSocket.h"
#include "tests/lab/TwoNetworkWindowLab.h"

namespace {

using namespace std::chrono_literals;
using testing_support::RunEventsUntil;
using Kept = std::vector<std::optional<std::string>>;

// The tick looks at the interfaces once a second, so a change is followed within about two.
constexpr auto kFollowLimit = 3s;
constexpr char kSendFailed[] = "SendTo failed, lasterror = 65 (101)";
constexpr char kMarkerHeard[] = "ignored from=10.1.2.3:4000 length=4";

class NetworkWindowLab : public TwoNetworkWindowLab {
protected:
    void SetUp() override {
        TwoNetworkWindowLab::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // The window lists the interfaces and binds again on its tick, on this thread: the
        // thread stays on the tool host, as the program stays on its one host.
        m_onToolHost.emplace(m_lab->ToolNamespace());
    }
    void TearDown() override {
        m_window.reset();
        m_onToolHost.reset();
        TwoNetworkWindowLab::TearDown();
    }

    // As main() builds it, the user's settings replaced by m_kept.
    void Open(network::Request request) {
        NetworkSetup setup;
        setup.request = std::move(request);
        // The lab maps the host name to 127.0.1.1, which no interface holds.
        setup.seams.resolveHostName = [] { return std::optional<net::Ipv4>(); };
        setup.keep = [this](const std::optional<std::string>& name) { m_kept.push_back(name); };
        m_window = std::make_unique<CNodeTestDlg>(DefaultSocketEnvironment(), std::move(setup));
        m_window->Create();
        ASSERT_TRUE(testing_support::ShowActive(*m_window));
        m_window->SendSystemCommand(res::kCommandNetwork);
        ASSERT_NE(m_window->Network(), nullptr);
    }

    NetworkWindow& Window() const { return *m_window->Network(); }
    int RowOf(const std::string& name) const {
        const auto rows = Window().InterfaceRows();
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (rows[row][0] == name) return static_cast<int>(row);
        }
        return -1;
    }
    static std::size_t PollsHeard(const lab::Process& node) {
        std::size_t polls = 0;
        for (const std::string& line : node.OutputLines()) polls += line.starts_with("poll ");
        return polls;
    }
    // What the window heard of kind since its last poll.
    int Heard(protocol::DatagramKind kind) const {
        return m_window->Socket().HeardTraffic().heardSincePoll[static_cast<std::size_t>(kind)];
    }
    void Ip(std::vector<std::string> args) {
        args.insert(args.begin(), {"-n", m_lab->ToolNamespace()});
        lab::Ip(args);
    }

    std::optional<lab::NamespaceSwitch> m_onToolHost;
    Kept m_kept;
};

TEST_F(NetworkWindowLab, TheChoiceReachesOnlyItsNetworkAndIsKept) {
    Open({});
    ASSERT_EQ(NamesOnceListed(), Lines{"First"});
    EXPECT_EQ(Window().InUseText(),
              "In use: eth0, 10.1.2.3/24, sending to 10.1.2.255:3333 (the "
              "first interface that can broadcast)");

    Window().UseRow(RowOf("eth1"));
    EXPECT_EQ(Window().InUseText(),
              "In use: eth1, 10.7.0.3/24, sending to 10.7.0.255:3333 (chosen by you)");
    EXPECT_EQ(NamesOnceListed(), Lines{"Second"});
    QTest::keyClick(Slider(), Qt::Key_Home);
    EXPECT_EQ(
        m_lab->Second().WaitForLineStartingWith("dmx ", 5s).value_or(m_lab->Second().Output()),
        kSecondDmxAtFullLevel);
    // The start-up poll went out before the choice; nothing since.
    EXPECT_EQ(FirstHeard(), (Lines{"poll from=10.1.2.3:3333 replies=1", kMarkerHeard}));
    EXPECT_EQ(m_kept, Kept{"eth1"});
    EXPECT_EQ(m_messages.Messages(), Lines{});
}

// A new main window stands for the next start: given what main() reads back.
struct Restart {
    const char* name;
    network::Request request;
    const char* inUse;
    const char* listed;
    bool firstQuiet;  // else the second network hears nothing
    const char* quietHeard;
};

void PrintTo(const Restart& restart, std::ostream* out) {
    *out << restart.name;
}

class RestartLab : public NetworkWindowLab, public testing::WithParamInterface<Restart> {};

TEST_P(RestartLab, UsesTheInterfaceThatWins) {
    Open(GetParam().request);
    EXPECT_EQ(Window().InUseText(), GetParam().inUse);
    EXPECT_EQ(NamesOnceListed(), Lines{GetParam().listed});
    EXPECT_EQ(GetParam().firstQuiet ? FirstHeard() : SecondHeard(), Lines{GetParam().quietHeard});
    EXPECT_EQ(m_kept, Kept{});
}

INSTANTIATE_TEST_SUITE_P(
    Starts, RestartLab,
    testing::Values(
        Restart{"KeptChoice",
                {std::nullopt, "eth1"},
                "In use: eth1, 10.7.0.3/24, sending to 10.7.0.255:3333 (chosen by you)",
                "Second",
                true,
                kMarkerHeard},
        Restart{"CommandLineBeatsTheKeptChoice",
                {"eth0", "eth1"},
                "In use: eth0, 10.1.2.3/24, sending to 10.1.2.255:3333 (given on the command line: "
                "--interface eth0)",
                "First",
                false,
                "ignored from=10.7.0.3:4000 length=4"}),
    [](const testing::TestParamInfo<Restart>& info) { return info.param.name; });

// With a default route through the first network, the pulled adapter's traffic would quietly
// take that route; tied to its device, it fails instead, and polls again once it is back.
class PulledChosenAdapter : public NetworkWindowLab, public testing::WithParamInterface<bool> {};

TEST_P(PulledChosenAdapter, FailsSendsUntilItIsBackThenPollsAgain) {
    if (GetParam()) Ip({"route", "add", "default", "via", "10.1.2.1"});
    Open({std::nullopt, "eth1"});
    ASSERT_EQ(NamesOnceListed(), Lines{"Second"});

    m_lab->SetLink(m_lab->ToolNamespace(), "down", lab::kSecondInterface);
    const char* const pulled =
        "In use: eth1, not usable now: sends fail until it is back (chosen by you)";
    RunEventsUntil(kFollowLimit, [&] { return Window().InUseText() == pulled; });
    EXPECT_EQ(Window().InUseText(), pulled);
    // The key's press and its release each send; then the poll.
    QTest::keyClick(Slider(), Qt::Key_Home);
    QTest::mouseClick(m_window->Item(res::kIdPollAgain), Qt::LeftButton);
    EXPECT_EQ(m_messages.Messages(), (Lines{kSendFailed, kSendFailed, kSendFailed}));
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_FALSE(framework::QuitRequested());
    EXPECT_EQ(FirstHeard(), Lines{kMarkerHeard});

    m_lab->SetLink(m_lab->ToolNamespace(), "up", lab::kSecondInterface);
    RunEventsUntil(kFollowLimit, [&] { return Heard(protocol::DatagramKind::PollReply) > 0; });
    EXPECT_EQ(PollsHeard(m_lab->Second()), 2u);
    EXPECT_EQ(Heard(protocol::DatagramKind::PollReply), 1);
    EXPECT_EQ(Names(), Lines{"Second"});
}

INSTANTIATE_TEST_SUITE_P(Routes, PulledChosenAdapter, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "DefaultRouteThroughFirstNetwork"
                                               : "NoDefaultRoute";
                         });

// As after a DHCP change: the same adapter on another subnet, with a node of its own.
TEST_F(NetworkWindowLab, ANewLeaseIsFollowedWithoutARestart) {
    const auto third = lab::StartNode(PRAVELTEST_NODE_BINARY, m_lab->AddHost("10.8.0.21", 24, 1),
                                      {"--name", "Third"});
    Open({std::nullopt, "eth1"});
    ASSERT_EQ(NamesOnceListed(), Lines{"Second"});

    Ip({"addr", "del", "10.7.0.3/24", "dev", lab::kSecondInterface});
    Ip({"addr", "add", "10.8.0.3/24", "brd", "+", "dev", lab::kSecondInterface});
    RunEventsUntil(kFollowLimit, [&] { return Names() == Lines{"Third"}; });
    EXPECT_EQ(Names(), Lines{"Third"});
    EXPECT_EQ(third->WaitForLineStartingWith("poll ", 0s).value_or(third->Output()),
              "poll from=10.8.0.3:3333 replies=1");
    EXPECT_EQ(Window().InUseText(),
              "In use: eth1, 10.8.0.3/24, sending to 10.8.0.255:3333 (chosen by you)");
}

TEST_F(NetworkWindowLab, FindingsNameTheOtherProgramAndThePollThatNeverCameBack) {
    // Everything to the port dropped but a marker from port 4000, which shows when the own
    // poll would have come back: both loop back the same way, the marker sent later.
    const lab::CommandResult firewall = lab::RunCommand(lab::NamespaceCommand(
        m_lab->ToolNamespace(),
        {"nft",
         "add table inet lab; add chain inet lab input { type filter hook input priority 0; "
         "}; add rule inet lab input udp dport 3333 udp sport != 4000 drop"}));
    ASSERT_TRUE(firewall.status.Exited(0)) << firewall.errors;
    const auto neighbour = lab::StartNode(PRAVELTEST_NODE_BINARY, m_lab->ToolNamespace());
    Open({});
    testing_support::PeerSocket marker("0.0.0.0", 4000, true);
    ASSERT_TRUE(marker.SendTo("10.1.2.255", 3333, {'M', 'A', 'R', 'K'}));
    RunEventsUntil(5s, [&] { return Heard(protocol::DatagramKind::UnknownCode) > 0; });
    Window().Refresh();

    EXPECT_EQ(Window().FindingText("Its own poll came back"),
              "no; a firewall on this host may be dropping UDP port 3333");
    EXPECT_EQ(Window().FindingText("Other programs on UDP port 3333 on this host"),
              "praveltest-node (pid " + std::to_string(neighbour->Pid()) + ")");
    EXPECT_EQ(Window().FindingText("Also heard since the poll"), "1 other datagram");
    EXPECT_EQ(Window().FindingText("Last reply"), "none yet; 0 nodes listed");
}

}  // namespace
