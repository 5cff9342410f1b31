// The real program on a host with two networks, 10.1.2.3/24 on eth0 and 10.7.0.3/24 on eth1,
// whose host name maps to 127.0.1.1: which network its poll reaches with and without
// --interface, what --list-interfaces prints, and that a bad command line sends nothing.
#include <gtest/gtest.h>

#include <memory>

#include "net/InterfaceChanges.h"
#include "protocol/NodeProtocol.h"
#include "testing/LabNode.h"
#include "testing/PeerSocket.h"
#include "testing/Wait.h"
#include "tests/lab/RequireLab.h"

namespace {

using namespace std::chrono_literals;
using testing_support::PeerSocket;
using Lines = std::vector<std::string>;

// Room for a cold start of Qt on a busy machine.
constexpr auto kStartUp = 5s;
constexpr std::uint16_t kMarkerPort = 4000;
const std::vector<std::uint8_t> kMarker{'M', 'A', 'R', 'K'};

class TwoNetworks : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_LAB();
        m_lab = std::make_unique<lab::TwoNetworkLab>(PRAVELTEST_NODE_BINARY);
    }

    // The program on the tool host, with its host name set.
    std::unique_ptr<lab::Process> Program(const Lines& options,
                                          const std::string& platform = "offscreen") {
        std::vector<std::string> argv{PRAVELTEST_BINARY};
        argv.insert(argv.end(), options.begin(), options.end());
        return std::make_unique<lab::Process>(
            m_lab->ExecCommand(m_lab->ToolNamespace(), argv),
            std::vector<std::string>{"QT_QPA_PLATFORM=" + platform,
                                     "DISPLAY=", "WAYLAND_DISPLAY="});
    }

    // Sends a marker from the tool host onto both networks, after everything the program
    // sent: whatever a node reports before the marker came from the program.
    void SendMarkers() {
        lab::InNamespace(m_lab->ToolNamespace(), [] {
            PeerSocket sender("0.0.0.0", kMarkerPort, true);
            ASSERT_TRUE(sender.SendTo("10.1.2.21", protocol::kNodePort, kMarker));
            ASSERT_TRUE(sender.SendTo("10.7.0.21", protocol::kNodePort, kMarker));
        });
    }

    // Each node's report lines up to and including the marker's.
    static Lines LinesUntilMarker(lab::Process& node) {
        const auto marker = node.WaitForLineStartingWith("ignored ", 5s);
        Lines lines = node.OutputLines();
        lines.erase(lines.begin());  // ready
        if (!marker) lines.push_back("no marker");
        return lines;
    }

    // Runs the program until node has its poll, then stops it and sends the markers.
    void RunUntilPolled(const Lines& options, lab::Process& node,
                        const std::string& platform = "offscreen") {
        auto program = Program(options, platform);
        ASSERT_TRUE(node.WaitForLineStartingWith("poll ", kStartUp))
            << "program stderr: " << program->Errors();
        EXPECT_TRUE(program->IsRunning()) << program->Errors();
        program->Stop();
        SendMarkers();
    }

    std::unique_ptr<lab::TwoNetworkLab> m_lab;
};

TEST_F(TwoNetworks, TheDefaultPollsTheFirstNetworkOnly) {
    RunUntilPolled({}, m_lab->First());
    EXPECT_EQ(LinesUntilMarker(m_lab->First()),
              (Lines{"poll from=10.1.2.3:3333 replies=1", "ignored from=10.1.2.3:4000 length=4"}));
    EXPECT_EQ(LinesUntilMarker(m_lab->Second()), Lines{"ignored from=10.7.0.3:4000 length=4"});
}

TEST_F(TwoNetworks, TheSecondInterfaceByNamePollsTheSecondNetworkOnly) {
    RunUntilPolled({"--interface", "eth1"}, m_lab->Second());
    EXPECT_EQ(LinesUntilMarker(m_lab->First()), Lines{"ignored from=10.1.2.3:4000 length=4"});
    EXPECT_EQ(LinesUntilMarker(m_lab->Second()),
              (Lines{"poll from=10.7.0.3:3333 replies=1", "ignored from=10.7.0.3:4000 length=4"}));
}

TEST_F(TwoNetworks, TheSecondInterfaceByAddressPollsTheSecondNetworkOnly) {
    // Qt's own option must reach Qt: the environment names a platform that does not exist.
    RunUntilPolled({"--interface=10.7.0.3", "-platform", "offscreen"}, m_lab->Second(),
                   "none-such");
    EXPECT_EQ(LinesUntilMarker(m_lab->First()), Lines{"ignored from=10.1.2.3:4000 length=4"});
    EXPECT_EQ(LinesUntilMarker(m_lab->Second()),
              (Lines{"poll from=10.7.0.3:3333 replies=1", "ignored from=10.7.0.3:4000 length=4"}));
}

// No network needed: a node on the program's own host, listening on 127.0.0.255.
TEST_F(TwoNetworks, LoopbackMeetsANodeOnTheSameHostAndNeitherNetwork) {
    const auto local =
        lab::StartNode(PRAVELTEST_NODE_BINARY, m_lab->ToolNamespace(), {"--bind", "127.0.0.255"});
    auto program = Program({"--interface", "lo"});
    EXPECT_EQ(local->WaitForLineStartingWith("poll ", kStartUp).value_or(program->Errors()),
              "poll from=127.0.0.1:3333 replies=1");
    program->Stop();
    SendMarkers();
    EXPECT_EQ(LinesUntilMarker(m_lab->First()), Lines{"ignored from=10.1.2.3:4000 length=4"});
    EXPECT_EQ(LinesUntilMarker(m_lab->Second()), Lines{"ignored from=10.7.0.3:4000 length=4"});
}

TEST_F(TwoNetworks, ListingShowsBothWithTheDefaultMarkedForTheProgramAndTheNode) {
    const std::string expected =
        "lo address=127.0.0.1/8 sends-to=127.0.0.255 can-broadcast=no\n"
        "eth0 address=10.1.2.3/24 sends-to=10.1.2.255 can-broadcast=yes "
        "default=first-broadcast-capable\n"
        "eth1 address=10.7.0.3/24 sends-to=10.7.0.255 can-broadcast=yes\n";
    for (const char* binary : {PRAVELTEST_BINARY, PRAVELTEST_NODE_BINARY}) {
        // A platform that does not exist: Qt would abort, so listing must not start it.
        lab::Process lister(
            m_lab->ExecCommand(m_lab->ToolNamespace(), {binary, "--list-interfaces"}),
            {"QT_QPA_PLATFORM=none-such", "DISPLAY=", "WAYLAND_DISPLAY="});
        const auto status = lister.Wait(kStartUp);
        ASSERT_TRUE(status) << binary << " still running";
        EXPECT_TRUE(status->Exited(0)) << binary << ": " << lab::Describe(*status);
        EXPECT_EQ(lister.Output(), expected) << binary;
        EXPECT_EQ(lister.Errors(), "") << binary;
    }
}

struct BadInput {
    std::vector<std::string> options;
    std::string error;
};
void PrintTo(const BadInput& c, std::ostream* os) {
    for (const std::string& each : c.options) *os << each << ' ';
}

// Beside the two networks: vdown, down with 10.9.0.3/24, and vup, up without IPv4.
class TwoNetworksBadInput : public TwoNetworks, public testing::WithParamInterface<BadInput> {
protected:
    void SetUp() override {
        TwoNetworks::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        const std::string& tool = m_lab->ToolNamespace();
        lab::Ip({"-n", tool, "link", "add", "vdown", "type", "veth", "peer", "name", "vup"});
        lab::Ip({"-n", tool, "addr", "add", "10.9.0.3/24", "dev", "vdown"});
        lab::Ip({"-n", tool, "link", "set", "vup", "up"});
    }
};

// A platform that does not exist: had Qt started, it would have aborted.
TEST_P(TwoNetworksBadInput, ExitsTwoWithOneLineAndSendsNothing) {
    auto program = Program(GetParam().options, "none-such");
    const auto status = program->Wait(kStartUp);
    ASSERT_TRUE(status) << "still running";
    EXPECT_TRUE(status->Exited(2)) << lab::Describe(*status);
    EXPECT_EQ(program->Errors(), "praveltest: " + GetParam().error + "\n");
    EXPECT_EQ(program->Output(), "");
    SendMarkers();
    EXPECT_EQ(LinesUntilMarker(m_lab->First()), Lines{"ignored from=10.1.2.3:4000 length=4"});
    EXPECT_EQ(LinesUntilMarker(m_lab->Second()), Lines{"ignored from=10.7.0.3:4000 length=4"});
}

constexpr char kCandidates[] = "; up with IPv4: lo 127.0.0.1, eth0 10.1.2.3, eth1 10.7.0.3";

INSTANTIATE_TEST_SUITE_P(
    Cases, TwoNetworksBadInput,
    testing::Values(
        BadInput{{"--bogus"}, "unknown option '--bogus'; try --help"},
        BadInput{{"--interface"},
                 "option '--interface' needs a value, NAME or A.B.C.D; try --help"},
        BadInput{{"--interface", "wlan0"}, std::string("no interface named 'wlan0'") + kCandidates},
        BadInput{{"--interface", "vdown"}, std::string("interface 'vdown' is down") + kCandidates},
        BadInput{{"--interface", "vup"},
                 std::string("interface 'vup' has no IPv4 address") + kCandidates},
        BadInput{{"--interface=10.9.0.3"},
                 std::string("10.9.0.3 is on interface 'vdown', which is down") + kCandidates},
        BadInput{{"--interface", "10.7.0.9"},
                 std::string("10.7.0.9 is not an IPv4 address of this host") + kCandidates}));

}  // namespace

namespace {

// Following the network hangs on this notice: told once of each change on the host's own
// namespace, and silent while nothing changes.
TEST(InterfaceChangesInLab, TellsOfANewAddressAndALinkGoingDownOnce) {
    REQUIRE_LAB();
    lab::Lab lab;
    const std::string tool = lab.ToolNamespace();
    lab::InNamespace(tool, [&] {
        net::InterfaceChanges changes;
        EXPECT_FALSE(changes.Pending());
        const std::vector<std::vector<std::string>> steps{
            {"-n", tool, "address", "add", "10.9.0.3/24", "dev", lab::kHostInterface},
            {"-n", tool, "link", "set", lab::kHostInterface, "down"}};
        for (const auto& step : steps) {
            lab::Ip(step);
            EXPECT_TRUE(testing_support::WaitUntil(5s, [&] { return changes.Pending(); }))
                << step[3];
            EXPECT_FALSE(changes.Pending()) << step[3];
        }
    });
}

}  // namespace
