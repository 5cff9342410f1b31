// The real praveltest program, started on the lab's tool host where its own host-name lookup
// finds 10.1.2.3, watched from other hosts on the bridge.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

#include "protocol/NodeProtocol.h"
#include "testing/LabNode.h"
#include "testing/PeerSocket.h"
#include "testing/ProcStatus.h"
#include "testing/Process.h"
#include "tests/lab/RequireLab.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Datagram;
using testing_support::PeerSocket;

const std::vector<std::uint8_t> kPoll(protocol::kPollMessage.begin(), protocol::kPollMessage.end());
// Room for a cold start of Qt on a busy machine.
constexpr auto kStartUp = 20s;

// The times the main thread went to sleep and was woken: past start-up, its event loop's
// wake-ups, one at least per receive tick. -1 once it is gone.
long MainThreadWakeUps(pid_t pid) {
    const lab::ProcActivity activity = lab::ReadActivity(pid);
    const auto main = activity.tasks.find(pid);
    return main == activity.tasks.end() ? -1 : main->second.voluntary;
}

// Waits, bounded, until the main thread has woken count more times: its event loop runs on,
// and whatever it sent before then is sent. False once the program has ended.
bool WakesUp(lab::Process& program, long count) {
    const long start = MainThreadWakeUps(program.Pid());
    const auto limit = std::chrono::steady_clock::now() + kStartUp;
    while (program.IsRunning() && MainThreadWakeUps(program.Pid()) < start + count &&
           std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(10ms);
    }
    return start >= 0 && MainThreadWakeUps(program.Pid()) >= start + count;
}

// Start-up brings some twenty wake-ups; after it each receive tick brings one, ten a second.
// Forty take the program past start-up and through some twenty ticks.
constexpr long kPastStartUpAndSomeTicks = 40;

class ProgramInLab : public testing::Test {
protected:
    void StartLab(int prefixLength) { m_lab = std::make_unique<lab::Lab>(prefixLength); }

    std::unique_ptr<PeerSocket> Observer(const std::string& address, int prefixLength = -1) {
        const std::string host = m_lab->AddHost(address, prefixLength);
        return lab::InNamespace(host, [] {
            return std::make_unique<PeerSocket>("0.0.0.0", protocol::kNodePort, false);
        });
    }

    std::unique_ptr<lab::Process> StartProgram(std::vector<std::string> environment = {}) {
        environment.push_back("QT_QPA_PLATFORM=offscreen");
        return std::make_unique<lab::Process>(
            m_lab->ExecCommand(m_lab->ToolNamespace(), {PRAVELTEST_BINARY}), environment);
    }

    static std::string Diagnose(lab::Process& program) {
        return "program stderr: " + program.Errors();
    }

    // Once the program is past start-up and some ticks, nothing of it reaches observer, at
    // address, before a sentinel from the program's host: what it sent earlier would come first.
    void ExpectNothingMoreAt(PeerSocket& observer, const std::string& address,
                             lab::Process& program, const char* what) {
        ASSERT_TRUE(WakesUp(program, kPastStartUpAndSomeTicks)) << Diagnose(program);
        auto sender = lab::InNamespace(m_lab->ToolNamespace(),
                                       [] { return std::make_unique<PeerSocket>("0.0.0.0", 0); });
        const auto more = observer.ReceiveBeforeSentinel(*sender, address);
        ASSERT_TRUE(more) << "the sentinel never arrived";
        EXPECT_TRUE(more->empty()) << what << ": " << more->size() << " datagrams, the first "
                                   << more->front().bytes.size() << " bytes long";
    }

    std::unique_ptr<lab::Lab> m_lab;
};

void ExpectPollFromTheProgram(const Datagram& datagram) {
    EXPECT_EQ(datagram.bytes, kPoll);
    EXPECT_EQ(datagram.senderAddress, lab::kToolAddress);
    EXPECT_EQ(datagram.senderPort, protocol::kNodePort);
}

TEST_F(ProgramInLab, StartUpSendsOnePollAndNothingElse) {
    REQUIRE_LAB();
    StartLab(24);
    auto observer = Observer("10.1.2.20");
    auto program = StartProgram();

    const auto first = observer->Receive(kStartUp);
    ASSERT_TRUE(first) << "no poll; " << Diagnose(*program);
    ExpectPollFromTheProgram(*first);
    ExpectNothingMoreAt(*observer, "10.1.2.20", *program, "more after the poll");
    EXPECT_TRUE(program->IsRunning()) << Diagnose(*program);
    program->Stop();
}

// The broadcast is worked out as a.b.c.255 whatever the mask: with /16 that is an ordinary
// host address, so exactly that host hears it.
TEST_F(ProgramInLab, WithASixteenBitMaskThePollStillGoesToTheClassCBroadcast) {
    REQUIRE_LAB();
    StartLab(16);
    auto atClassCBroadcast = Observer("10.1.2.255");
    auto elsewhere = Observer("10.1.9.9");
    auto program = StartProgram();

    const auto poll = atClassCBroadcast->Receive(kStartUp);
    ASSERT_TRUE(poll) << "no poll at 10.1.2.255; " << Diagnose(*program);
    ExpectPollFromTheProgram(*poll);
    ExpectNothingMoreAt(*elsewhere, "10.1.9.9", *program, "the poll went to the /16 broadcast");
    program->Stop();
}

TEST_F(ProgramInLab, TwoCopiesOnOneHostBothBindTheNodePort) {
    REQUIRE_LAB();
    StartLab(24);
    auto observer = Observer("10.1.2.20");
    auto first = StartProgram();
    auto second = StartProgram();

    const std::vector<Datagram> polls = observer->ReceiveFor(kStartUp, 2);
    ASSERT_EQ(polls.size(), 2u) << Diagnose(*first) << "\n" << Diagnose(*second);
    for (const Datagram& poll : polls) ExpectPollFromTheProgram(poll);

    // A copy that could not bind reports it and ends; both must run on through ten wake-ups
    // of their event loops, and end only by the signal that stops them.
    for (lab::Process* copy : {first.get(), second.get()}) {
        EXPECT_TRUE(WakesUp(*copy, 10)) << Diagnose(*copy);
    }
    EXPECT_TRUE(first->IsRunning()) << Diagnose(*first);
    EXPECT_TRUE(second->IsRunning()) << Diagnose(*second);
    for (lab::Process* copy : {first.get(), second.get()}) {
        const lab::ExitStatus status = copy->Stop();
        EXPECT_EQ(status.signal, SIGTERM) << lab::Describe(status) << "; " << Diagnose(*copy);
    }
}

TEST_F(ProgramInLab, ItsPollReachesTheSimulatedNode) {
    REQUIRE_LAB();
    StartLab(24);
    const auto node = lab::StartNode(PRAVELTEST_NODE_BINARY, m_lab->AddHost("10.1.2.20"));
    auto program = StartProgram();

    EXPECT_EQ(node->WaitForLineStartingWith("poll ", kStartUp).value_or(Diagnose(*program)),
              "poll from=10.1.2.3:3333 replies=1");
    program->Stop();
}

// A user's configuration folder of its own, holding the choice an earlier run kept.
class KeptSettings {
public:
    explicit KeptSettings(const std::string& text) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "praveltest-kept-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        m_folder = pattern;
        std::filesystem::create_directories(m_folder / "PraveltTest");
        std::ofstream(m_folder / "PraveltTest" / "PraveltTest.conf") << text;
    }
    ~KeptSettings() { std::filesystem::remove_all(m_folder); }
    KeptSettings(const KeptSettings&) = delete;
    KeptSettings& operator=(const KeptSettings&) = delete;
    std::string Environment() const { return "XDG_CONFIG_HOME=" + m_folder.string(); }

private:
    std::filesystem::path m_folder;
};

// The default would be the first network's interface; the kept choice sends the start-up poll
// to the second alone.
TEST_F(ProgramInLab, StartsOnTheInterfaceKeptLastTime) {
    REQUIRE_LAB();
    auto networks = std::make_unique<lab::TwoNetworkLab>(PRAVELTEST_NODE_BINARY);
    lab::TwoNetworkLab& twoNetworks = *networks;
    m_lab = std::move(networks);
    const KeptSettings kept("[Network]\nInterface=eth1\n");
    auto program = StartProgram({kept.Environment()});

    EXPECT_EQ(twoNetworks.Second()
                  .WaitForLineStartingWith("poll ", kStartUp)
                  .value_or(Diagnose(*program)),
              "poll from=10.7.0.3:3333 replies=1");
    ASSERT_TRUE(WakesUp(*program, kPastStartUpAndSomeTicks)) << Diagnose(*program);
    EXPECT_EQ(twoNetworks.HeardBeforeMarker(twoNetworks.First(), "10.1.2.21"),
              std::vector<std::string>{"ignored from=10.1.2.3:4000 length=4"});
    program->Stop();
}

}  // namespace
