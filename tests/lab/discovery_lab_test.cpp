// The real main window on the lab's tool host, finding simulated nodes across the bridge.
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <random>
#include <set>
#include <thread>

#include "protocol/NodeProtocol.h"
#include "testing/Console.h"
#include "testing/Lab.h"
#include "testing/LabNode.h"
#include "testing/ProcStatus.h"
#include "testing/Process.h"
#include "tests/support/MainWindowFixture.h"

using namespace std::chrono_literals;
using Rows = std::vector<std::string>;

namespace {

// Only an upper bound: every wait ends as soon as what it waits for has happened.
constexpr auto kLimit = std::chrono::milliseconds(20s);

class DiscoveryLabTest : public testing_support::MainWindowFixture {
protected:
    testing_support::Network NetworkInUse() const override { return testing_support::Network::Lab; }

    // A simulated node on a host of its own, ready to answer.
    lab::Process& StartNode(const std::string& address, const std::vector<std::string>& options) {
        nodes.push_back(lab::StartNode(PRAVELTEST_NODE_BINARY, lab->AddHost(address), options));
        return *nodes.back();
    }

    QTreeWidget* Tree() const { return qobject_cast<QTreeWidget*>(Item(res::kIdTree)); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int i = 0; i < Tree()->topLevelItemCount(); ++i) {
            names.push_back(Tree()->topLevelItem(i)->text(0).toLatin1().toStdString());
        }
        return names;
    }
    Rows RowsOf(const std::string& name) const {
        Rows rows;
        for (int i = 0; i < Tree()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* entry = Tree()->topLevelItem(i);
            if (entry->text(0).toLatin1().toStdString() != name) continue;
            for (int row = 0; row < entry->childCount(); ++row) {
                rows.push_back(entry->child(row)->text(0).toStdString());
            }
        }
        return rows;
    }
    // Runs the event loop, and with it the real receive timer, until done() holds.
    template <class F>
    static bool Eventually(F done, std::chrono::milliseconds limit = kLimit) {
        return testing_support::RunEventsUntil(limit, done);
    }
    // Ticks by hand, faster than the timer would, until done() holds.
    template <class F>
    bool TickUntil(F done, std::chrono::milliseconds limit = kLimit) {
        return MainWindowFixture::TickUntil(done, limit, 0);
    }
    bool WaitForEntries(int count) {
        return Eventually([&] { return Tree()->topLevelItemCount() >= count; }) &&
               Tree()->topLevelItemCount() == count;
    }
    // The one poll the window sends when it opens, so later counts start from nothing.
    void TakeStartUpPoll() { ASSERT_EQ(observer->ReceiveFor(kLimit, 1).size(), 1u); }
    // Exactly one datagram reaches the node host, the poll, and nothing else was sent.
    void ExpectOneMoreDatagram() {
        const std::vector<std::uint8_t> poll(protocol::kPollMessage.begin(),
                                             protocol::kPollMessage.end());
        EXPECT_EQ(NextSent(1), std::vector<std::vector<std::uint8_t>>{poll});
    }
    void PollAgain() { QTest::mouseClick(Item(res::kIdPollAgain), Qt::LeftButton); }
    // Once the node has answered this many polls, its replies are on their way; it prints
    // each line after the sends.
    static bool Answered(const lab::Process& node, long polls) {
        return Eventually([&] {
            const std::vector<std::string> lines = node.OutputLines();
            return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                       return line.starts_with("poll ");
                   }) >= polls;
        });
    }
    // The window handles datagrams in the order they came (a node's repeated reply takes the
    // place of its earlier one), so once this one, sent last, is handled, so is all before it.
    template <class F>
    bool HandledAfterAllBefore(const std::vector<std::uint8_t>& sentinel, F handled) {
        SendToWindow(sentinel);
        return Eventually(handled);
    }

    std::vector<std::unique_ptr<lab::Process>> nodes;
};

std::vector<std::uint8_t> ReplyBytes(const std::string& name, std::uint8_t version) {
    protocol::PollReplyMessage reply;
    reply.name = name;
    reply.version = version;
    const auto bytes = protocol::WritePollReply(reply);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

TEST_F(DiscoveryLabTest, ThreeNodesAreListedInTheOrderTheyFirstAnsweredWithExactRows) {
    StartNode("10.1.2.21", {"--name",
                            "Alpha",
                            "--mac",
                            "00:1a:2b:3c:4d:01",
                            "--node-type",
                            "0a01",
                            "--version",
                            "3",
                            "--switches",
                            "0x81",
                            "--options",
                            "0",
                            "--tos",
                            "0x10",
                            "--ttl",
                            "64",
                            "--listen-to",
                            "0",
                            "--listen-address",
                            "10.1.2.255",
                            "--universe",
                            "0"});
    lab::Process& alpha = *nodes.back();
    OpenShown();
    ASSERT_TRUE(WaitForEntries(1));
    lab::Process& bravo =
        StartNode("10.1.2.22", {"--name", "Bravo", "--mac", "00:1a:2b:3c:4d:02", "--options", "3",
                                "--listen-to", "1", "--universe", "1"});
    PollAgain();
    ASSERT_TRUE(WaitForEntries(2));
    lab::Process& charlie =
        StartNode("10.1.2.23", {"--name", "Charlie", "--mac", "de:ad:be:ef:00:ff", "--options", "7",
                                "--listen-to", "255", "--universe", "255", "--version", "0xab"});
    PollAgain();
    ASSERT_TRUE(WaitForEntries(3));
    // Every reply to the start-up poll and the two Poll Agains, then one more entry's.
    ASSERT_TRUE(Answered(alpha, 3) && Answered(bravo, 2) && Answered(charlie, 1));
    const auto sentinelListed = [&] {
        const std::vector<std::string> names = Names();
        return std::find(names.begin(), names.end(), "Sentinel") != names.end();
    };
    ASSERT_TRUE(HandledAfterAllBefore(ReplyBytes("Sentinel", 1), sentinelListed));

    EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Bravo", "Charlie", "Sentinel"}));
    EXPECT_EQ(RowsOf("Alpha"),
              (Rows{"IP Address: 10.1.2.21", "MAC Address: 00 1A 2B 3C 4D 01", "Node Type: 0A01",
                    "Version: 03", "Switch Settings: 81", "Options: ", "Type of Service: 10",
                    "Packet TTL: 40", "Listen to: Broadcast", "Listen IP Address: 10.1.2.255",
                    "DMX Universe: 1 (1-512)"}));
    EXPECT_EQ(
        RowsOf("Bravo"),
        (Rows{"IP Address: 10.1.2.22", "MAC Address: 00 1A 2B 3C 4D 02", "Node Type: 0001",
              "Version: 01", "Switch Settings: 00", "Options: Node is configured, Enable DHCP, ",
              "Type of Service: 00", "Packet TTL: 40", "Listen to: Class C Broadcast",
              "Listen IP Address: 0.0.0.0", "DMX Universe: 2 (513-1024)"}));
    EXPECT_EQ(RowsOf("Charlie"),
              (Rows{"IP Address: 10.1.2.23", "MAC Address: DE AD BE EF 00 FF", "Node Type: 0001",
                    "Version: AB", "Switch Settings: 00",
                    "Options: Node is configured, Enable DHCP, Enable Error Correction",
                    "Type of Service: 00", "Packet TTL: 40", "Listen to: Class C Broadcast",
                    "Listen IP Address: 0.0.0.0", "DMX Universe: 256 (130561-131072)"}));
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(DiscoveryLabTest, RepeatedRenamedSharedAndCaseDifferentNames) {
    lab::Process& first = StartNode("10.1.2.21", {"--name", "Stage", "--version", "1"});
    OpenShown();
    ASSERT_TRUE(WaitForEntries(1));
    for (int i = 0; i < 3; ++i) PollAgain();
    ASSERT_TRUE(Answered(first, 4));
    const auto reported = [&] { return !messages.Messages().empty(); };
    ASSERT_TRUE(HandledAfterAllBefore(testing_support::Bytes("VXZZ"), reported));
    EXPECT_EQ(Names(), std::vector<std::string>{"Stage"});  // refreshed, not added
    EXPECT_EQ(messages.Messages().size(), 1u);

    // The node comes back under another name: a second entry, the old one keeps its rows.
    first.Stop();
    StartNode("10.1.2.21", {"--name", "Renamed", "--version", "2"});
    PollAgain();
    ASSERT_TRUE(WaitForEntries(2));
    EXPECT_EQ(RowsOf("Stage")[3], "Version: 01");

    // Two senders, one name: the entry shows whichever replied last.
    SendToWindow(ReplyBytes("Renamed", 9));
    EXPECT_TRUE(Eventually([&] { return RowsOf("Renamed")[3] == "Version: 09"; }));
    EXPECT_EQ(RowsOf("Renamed")[0], std::string("IP Address: ") + kNodeAddress);
    SendToWindow(ReplyBytes("renamed", 9));
    ASSERT_TRUE(WaitForEntries(3));
    EXPECT_EQ(Names(), (std::vector<std::string>{"Stage", "Renamed", "renamed"}));
}

TEST_F(DiscoveryLabTest, TwoHundredNodesAnsweringAtOnceAreAllListed) {
    // The window reads one datagram a tick, so the whole burst waits in the socket's queue.
    lab::Process& crowd = StartNode("10.1.2.21", {"--count", "200"});
    Open();
    ASSERT_TRUE(crowd.WaitForLineStartingWith("poll", kLimit));
    EXPECT_TRUE(TickUntil([&] { return Tree()->topLevelItemCount() >= 200; }));
    for (int i = 0; i < 60; ++i) Tick();  // a repeated entry would show up now
    EXPECT_EQ(Tree()->topLevelItemCount(), 200);
    EXPECT_EQ(Names().front(), "SimNode1");
    for (int i = 0; i < Tree()->topLevelItemCount(); ++i) {
        EXPECT_EQ(Tree()->topLevelItem(i)->childCount(), 11);
    }
}

TEST_F(DiscoveryLabTest, TheSystemsDefaultQueueUnderABurstOfAThousand) {
    lab::Process& crowd = StartNode("10.1.2.21", {"--count", "1000"});
    OnToolHost([&] {
        net::NodeSocketEnvironment environment = Environment();
        environment.receiveBufferBytes = 0;
        window = std::make_unique<CNodeTestDlg>(environment);
        window->Create();
    });
    ASSERT_TRUE(crowd.WaitForLineStartingWith("poll", kLimit));
    ASSERT_TRUE(TickUntil([&] { return Tree()->topLevelItemCount() > 0; }));
    for (int i = 0; i < 1100; ++i) Tick();
    const int listed = Tree()->topLevelItemCount();
    RecordProperty("listed_with_default_queue", listed);
    std::printf("a 1000-node burst with the default receive queue: %d listed, %d lost\n", listed,
                1000 - listed);
    EXPECT_LE(listed, 1000);
}

TEST_F(DiscoveryLabTest, ASendWithNoRouteIsReportedAndTheNextOneWorks) {
    OpenShown();
    TakeStartUpPoll();
    lab->SetLink(lab->ToolNamespace(), "down");
    PollAgain();
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(messages.Messages()[0], "SendTo failed, lasterror = 65 (101)");
    lab->SetLink(lab->ToolNamespace(), "up");
    // The route comes back once the kernel has seen the carrier, a little after the link.
    const bool routed = OnToolHost([] {
        testing_support::PeerSocket probe("0.0.0.0", 0);
        return Eventually([&] { return probe.SendTo(kNodeAddress, 9, {0}); });
    });
    ASSERT_TRUE(routed);
    PollAgain();
    EXPECT_EQ(messages.Messages().size(), 1u);
    ExpectOneMoreDatagram();
}

TEST_F(DiscoveryLabTest, AFloodWithEveryBoxLeftOpenLeavesTheProgramWorking) {
    OpenShown();
    TakeStartUpPoll();
    const long peakBefore = lab::OwnMemory().hwmKb;

    // Every report opens a box that nobody closes; the boxes nest as ticks come in under them.
    int depth = 0;
    int deepest = 0;
    long boxes = 0;
    bool closeAll = false;
    std::vector<framework::ModalLoop*> open;
    auto previous = framework::SetMessageBoxSink([&](const std::string&) {
        ++boxes;
        if (closeAll) return;
        deepest = std::max(deepest, ++depth);
        framework::ModalLoop loop;
        open.push_back(&loop);
        loop.Run();
        open.pop_back();
        --depth;
    });

    std::atomic<bool> flooded{false};
    std::set<std::string> replyNames;
    std::thread flooder([&] {
        lab::InNamespace(nodeNamespace, [&] {
            testing_support::PeerSocket socket("0.0.0.0", 0);
            std::mt19937 random(1234);
            for (int i = 0; i < 10000; ++i) {
                std::vector<std::uint8_t> bytes;
                switch (i % 4) {
                    case 0:
                        bytes.assign(1 + random() % 3, 'V');
                        break;
                    case 1:
                        bytes = {'Q', 'Z', 'Q', static_cast<std::uint8_t>(random())};
                        break;
                    case 2:
                        bytes = {'V', 'X', 'Z', 'Z'};
                        break;
                    default: {
                        const std::string name = "R" + std::to_string(random() % 100000000);
                        replyNames.insert(name);
                        bytes = ReplyBytes(name, 1);
                    }
                }
                socket.SendTo(lab::kToolAddress, protocol::kNodePort, bytes);
            }
        });
        flooded = true;
    });

    // Checks run from inside the innermost open box, as a user would find the window then.
    bool checked = false;
    bool gaveUp = false;
    const auto giveUpAt = std::chrono::steady_clock::now() + 120s;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        // The boxes hold the event loop; only they can end the wait when the flood falls short.
        if (!checked && !gaveUp && std::chrono::steady_clock::now() > giveUpAt) {
            gaveUp = closeAll = true;
            for (framework::ModalLoop* loop : open) loop->Exit(0);
            return;
        }
        // Only at the deepest box do further reports wait instead of opening boxes.
        if (!flooded || checked || depth < framework::kMaxNestedBoxes) return;
        checked = true;
        for (int i = 0; i < 12000; ++i) Tick();  // work off whatever the queue still holds
        PollAgain();
        ExpectOneMoreDatagram();
        SendToWindow(ReplyBytes("Newcomer", 7));
        const auto listed = [&] {
            const std::vector<std::string> names = Names();
            return std::find(names.begin(), names.end(), "Newcomer") != names.end();
        };
        EXPECT_TRUE(TickUntil(listed));
        const std::vector<std::string> names = Names();
        for (const std::string& name : names) {
            if (name != "Newcomer") {
                EXPECT_TRUE(replyNames.count(name)) << name;
            }
            EXPECT_EQ(RowsOf(name).size(), 11u) << name;
        }
        std::printf("flood: %zu replies sent, %zu listed, %ld boxes opened, deepest %d\n",
                    replyNames.size(), names.size() - 1, boxes, deepest);
        closeAll = true;
        for (framework::ModalLoop* loop : open) loop->Exit(0);
    });
    check.start(50);
    Eventually([&] { return checked || gaveUp; }, 180s);
    flooder.join();
    framework::SetMessageBoxSink(std::move(previous));
    ASSERT_TRUE(checked) << "the boxes never nested to the limit";

    EXPECT_LE(deepest, framework::kMaxNestedBoxes);
    const long growth = lab::OwnMemory().hwmKb - peakBefore;
    std::printf("flood: peak resident memory grew by %ld kB\n", growth);
#if !defined(__SANITIZE_ADDRESS__)  // its quarantine keeps freed memory on purpose
    EXPECT_LT(growth, 64 * 1024);
#endif
}

// ---- A live rig: a console's DMX data and busy hands never crowd out a reply ------------

namespace {

// What the system gives a socket that asks for nothing: net.core.rmem_default on Debian. The
// kernel doubles it, to the 425,984 bytes a stock net.core.rmem_max leaves the program's request.
constexpr int kStockReceiveQueue = 212992;
// What the program asks for.
constexpr int kProgramReceiveQueue = 4 * 1024 * 1024;

class LiveRig : public DiscoveryLabTest {
protected:
    void TearDown() override {
        console.reset();
        DiscoveryLabTest::TearDown();
    }

    // A lighting desk on a host of its own, until the test ends.
    void StartConsole(int universes) {
        console = std::make_unique<testing_support::Console>(lab->AddHost("10.1.2.40"), universes,
                                                             "10.1.2.255");
        ASSERT_TRUE(Eventually([&] { return console->Rounds() > 0; }));
    }

    // The kernel's own count of datagrams it dropped on the window's socket for want of room.
    long KernelDrops() {
        return OnToolHost([] {
            const auto socket = lab::ReadUdpSocket(protocol::kNodePort);
            return socket ? socket->drops : -1L;
        });
    }

    std::unique_ptr<testing_support::Console> console;
};

class LiveRigLabTest : public LiveRig, public testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        receiveQueueBytes = GetParam();
        LiveRig::SetUp();
    }
};

std::string QueueName(const testing::TestParamInfo<int>& info) {
    return info.param == kStockReceiveQueue ? "StockQueue" : "ProgramQueue";
}

struct ConsoleRig {
    const char* name;
    int universes;
    int receiveQueueBytes;
};

void PrintTo(const ConsoleRig& rig, std::ostream* out) {
    *out << rig.universes << " universes, receive queue " << rig.receiveQueueBytes;
}

class LiveRigConsoleLabTest : public LiveRig, public testing::WithParamInterface<ConsoleRig> {
protected:
    void SetUp() override {
        receiveQueueBytes = GetParam().receiveQueueBytes;
        LiveRig::SetUp();
    }
};

}  // namespace

TEST_P(LiveRigConsoleLabTest, FiftyNodesAreListedBesideAConsoleAndTheSocketKeepsUp) {
    StartConsole(GetParam().universes);
    const long sentBeforeOpen = console->Sent();
    OpenShown();
    lab::Process& rig = StartNode("10.1.2.21", {"--count", "50"});
    // The scenario: the window open while the console sends five seconds of frames.
    ASSERT_TRUE(Eventually([&] { return console->Rounds() >= 5 * 44; }, 20s));

    const long roundsBeforePoll = console->Rounds();
    PollAgain();
    const auto pressed = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitForEntries(50)) << Tree()->topLevelItemCount() << " listed";
    const auto took = std::chrono::steady_clock::now() - pressed;
    EXPECT_LT(took, 50 * 100ms + 1s);
    const double seconds = std::chrono::duration<double>(took).count();
    std::printf(
        "beside a console of %d universes (%.0f rounds/s): %d nodes listed %.2f s after "
        "Poll Again, kernel drops %ld, %zu waiting at most\n",
        GetParam().universes, static_cast<double>(console->Rounds() - roundsBeforePoll) / seconds,
        Tree()->topLevelItemCount(), seconds, KernelDrops(),
        window->Socket().PeakWaitingDatagrams());
    EXPECT_GT(console->Rounds(), roundsBeforePoll) << "the console was sending all along";
    EXPECT_TRUE(rig.WaitForLineStartingWith("poll from=10.1.2.3:3333 replies=50", kLimit))
        << "the rig never answered Poll Again";
    // Nothing a node said is lost: every reply is listed above. What the kernel dropped is the
    // console's, and at most what a stall of the host takes (0 on an ordinary run).
    const long drops = KernelDrops();
    const long sent = console->Sent() - sentBeforeOpen;
    EXPECT_TRUE(testing_support::KeptUpWith(drops, sent)) << drops << " of " << sent << " dropped";
    EXPECT_EQ(window->Socket().DroppedDatagrams(), 0u);
    EXPECT_TRUE(messages.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Consoles, LiveRigConsoleLabTest,
    testing::Values(ConsoleRig{"ProgramQueue", 32, kProgramReceiveQueue},
                    ConsoleRig{"StockQueue", 32, kStockReceiveQueue},
                    // A show: every universe, full frames, 11,264 datagrams (6 MB) a second.
                    ConsoleRig{"ShowScaleStockQueue", 256, kStockReceiveQueue}),
    [](const testing::TestParamInfo<ConsoleRig>& info) { return std::string(info.param.name); });

TEST_P(LiveRigLabTest, ANodeIsListedWithinASecondAfterAThousandSliderKeys) {
    OpenShown();
    QWidget* slider = Item(res::kIdSlider);
    slider->setFocus();
    // A key every 9 ms, so the thousand keys take nine seconds whatever the machine's pace.
    const auto start = std::chrono::steady_clock::now();
    for (int key = 0; key < 1000; ++key) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            start + key * 9ms - std::chrono::steady_clock::now());
        if (left > 0ms) QTest::qWait(static_cast<int>(left.count()));
        QTest::keyClick(slider, key % 2 ? Qt::Key_PageUp : Qt::Key_PageDown);
    }

    StartNode("10.1.2.21", {"--name", "LateNode"});
    PollAgain();
    const auto pressed = std::chrono::steady_clock::now();
    EXPECT_TRUE(Eventually([&] { return Tree()->topLevelItemCount() == 1; }, 1s));
    std::printf("after 1000 slider keys: the node listed %lld ms after Poll Again\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - pressed)
                                           .count()));
    EXPECT_EQ(Names(), std::vector<std::string>{"LateNode"});
    EXPECT_TRUE(messages.Messages().empty());
}

// Thirty Poll Agains in three seconds bring five nodes' replies thirty times over; a node
// that appears then must not wait behind them.
TEST_P(LiveRigLabTest, ANodeIsListedWithinTwoSecondsAfterThirtyQuickPollAgains) {
    lab::Process& rig = StartNode("10.1.2.21", {"--count", "5"});
    OpenShown();
    ASSERT_TRUE(WaitForEntries(5));
    const auto start = std::chrono::steady_clock::now();
    for (int press = 0; press < 30; ++press) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            start + press * 100ms - std::chrono::steady_clock::now());
        if (left > 0ms) QTest::qWait(static_cast<int>(left.count()));
        PollAgain();
    }
    // The rig answered them all: the start-up poll and thirty more, after its ready line.
    const auto lines = rig.OutputLines(1 + 31, kLimit);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.starts_with("poll "); }),
              31);

    const std::size_t waiting = window->Socket().WaitingDatagrams();
    StartNode("10.1.2.22", {"--name", "Latecomer"});
    PollAgain();
    const auto pressed = std::chrono::steady_clock::now();
    EXPECT_TRUE(Eventually([&] { return Tree()->topLevelItemCount() == 6; }, 2s));
    std::printf(
        "after 30 quick Poll Agains: %zu replies waiting, the new node %s %lld ms after "
        "Poll Again, %zu waiting at most\n",
        waiting, Tree()->topLevelItemCount() == 6 ? "listed" : "not listed",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - pressed)
                                   .count()),
        window->Socket().PeakWaitingDatagrams());
    EXPECT_EQ(Names(), (std::vector<std::string>{"SimNode1", "SimNode2", "SimNode3", "SimNode4",
                                                 "SimNode5", "Latecomer"}));
    // A reply waits in place of the one its node sent before: one each at most.
    EXPECT_LE(window->Socket().PeakWaitingDatagrams(), 6u);
    EXPECT_TRUE(messages.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Queues, LiveRigLabTest,
                         testing::Values(kProgramReceiveQueue, kStockReceiveQueue), QueueName);
