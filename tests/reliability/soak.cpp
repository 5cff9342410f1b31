// praveltest_soak: the real main window driven for minutes beside simulated nodes on another
// lab host: Poll Again every 2 s and 100 level keys a second. Passes (exit 0) when resident
// memory holds still after the first part, the nodes received every datagram sent, the
// kernel dropped nothing on the window's socket, the endpoint never held more replies than
// there are nodes, the replies to the last Poll Again reached the tree, every node is listed
// once with its rows, and no message box opened. Runs in the lab's tool namespace;
// scripts/soak.sh starts it there.
#include <QAbstractItemModel>
#include <QApplication>
#include <QEventLoop>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <set>
#include <thread>

#include "app/NodeTestDlg.h"
#include "protocol/NodeProtocol.h"
#include "res/ResourceIds.h"
#include "testing/Lab.h"
#include "testing/LabNode.h"
#include "testing/MainWindow.h"
#include "testing/MessageRecorder.h"
#include "testing/Options.h"
#include "testing/ProcStatus.h"
#include "testing/Process.h"
#include "testing/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kUsage[] =
    "usage: praveltest_soak --node BIN --node-ns NS [--seconds 600] [--count 50]\n";

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Result(const std::string& key, double value) {
    std::printf("RESULT %s %.6g\n", key.c_str(), value);
    std::fflush(stdout);
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::map<std::string, long> NodeHostCounters(const std::string& nodeNamespace) {
    const auto snmp =
        lab::RunCommand(lab::NamespaceCommand(nodeNamespace, {"cat", "/proc/net/snmp"}));
    if (!snmp.status.Exited(0))
        throw Failure("cannot read the node host's counters: " + snmp.errors);
    return lab::UdpCounters(snmp.output);
}

long Delta(const std::map<std::string, long>& before, const std::map<std::string, long>& after,
           const std::string& name) {
    if (!before.count(name) || !after.count(name)) throw Failure("no Udp counter " + name);
    return after.at(name) - before.at(name);
}

// The datagrams the node has reported so far: every one it read gets a line.
long NodeLines(const lab::Process& node, const std::string& prefix = {}) {
    long lines = 0;
    for (const std::string& line : node.OutputLines()) {
        const bool datagram = line.rfind("dmx ", 0) == 0 || line.rfind("poll ", 0) == 0 ||
                              line.rfind("ignored ", 0) == 0;
        lines += datagram && line.rfind(prefix, 0) == 0;
    }
    return lines;
}

long KernelDrops() {
    const auto socket = lab::ReadUdpSocket(protocol::kNodePort);
    if (!socket) throw Failure("the window's socket is not on the node port");
    return socket->drops;
}

// 50 nodes answering every 2 s send 25 replies a second, more than the tick's one every
// 100 ms: only a list that keeps one reply per node stays bounded.
constexpr int kPollAgainMs = 2000;

int Soak(const lab::Options& options) {
    const int seconds = options.Number("seconds", 600);
    const int count = options.Number("count", 50);
    const std::string nodeNamespace = options.Text("node-ns");
    if (seconds < 20 || nodeNamespace.empty() || !options.Has("node")) {
        throw lab::UsageError("--node and --node-ns are needed, and --seconds of 20 or more");
    }
    // Memory is compared from here on: the first minute, or half of a shorter run.
    const int settleSeconds = std::min(60, seconds / 2);
    testing_support::MessageRecorder boxes;
    const auto node =
        lab::StartNode(options.Text("node"), nodeNamespace, {"--count", std::to_string(count)});
    const auto toolBefore = lab::ReadUdpCounters();
    const auto nodeBefore = NodeHostCounters(nodeNamespace);

    auto window = testing_support::OpenMainWindow(
        testing_support::WindowEnvironment(protocol::kNodePort, lab::kToolAddress));
    if (!testing_support::ShowActive(*window)) throw Failure("the window did not become active");
    auto* slider = qobject_cast<QSlider*>(window->Item(res::kIdSlider));
    auto* tree = qobject_cast<QTreeWidget*>(window->Item(res::kIdTree));
    QWidget* pollAgain = window->Item(res::kIdPollAgain);
    if (!slider || !tree || !pollAgain)
        throw Failure("the window lacks its slider, tree or Poll Again");
    slider->setFocus();
    const long dropsBefore = KernelDrops();

    const auto start = Clock::now();
    long keys = 0, polls = 0;
    double allListedS = -1;
    QObject::connect(tree->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (allListedS < 0 && tree->topLevelItemCount() >= count) allListedS = SecondsSince(start);
    });
    // Keys keep to 100 a second on average whatever the timer's jitter: each timeout sends
    // the presses that are due, a few at most.
    QTimer keyTimer;
    keyTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&keyTimer, &QTimer::timeout, [&] {
        const long due = static_cast<long>(SecondsSince(start) * 100);
        for (int burst = 0; keys < due && burst < 5; ++burst, ++keys) {
            // Up and down in turn: past the first, every key moves the thumb.
            QTest::keyClick(slider, keys % 2 ? Qt::Key_Down : Qt::Key_Up);
        }
    });
    QTimer pollTimer;
    QObject::connect(&pollTimer, &QTimer::timeout, [&] {
        QTest::mouseClick(pollAgain, Qt::LeftButton);
        ++polls;
    });
    long settledKb = 0;
    QTimer::singleShot(settleSeconds * 1000, [&] { settledKb = lab::OwnMemory().rssKb; });
    keyTimer.start(10);
    pollTimer.start(kPollAgainMs);
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000 + 500, &loop, &QEventLoop::quit);
    loop.exec();
    keyTimer.stop();
    pollTimer.stop();
    const double elapsed = SecondsSince(start);
    // The replies to the last Poll Again reach the tree: once every node has reported that
    // poll, the kernel's queue and the endpoint's own list empty, one reply a tick.
    const long pollsHeard = polls + 1;  // and the start-up poll
    auto repliesTaken = [&] {
        const auto socket = lab::ReadUdpSocket(protocol::kNodePort);
        return NodeLines(*node, "poll ") >= pollsHeard && socket &&
               socket->receiveQueueBytes == 0 && window->Socket().WaitingDatagrams() == 0;
    };
    testing_support::RunEventsUntil(std::chrono::milliseconds(count * 100 + 5000), repliesTaken,
                                    20);
    const bool lastPollListed = repliesTaken();
    // Taken before the node's report is read, which takes memory of its own.
    const long endKb = lab::OwnMemory().rssKb;
    const long drops = KernelDrops() - dropsBefore;
    const std::size_t peakWaiting = window->Socket().PeakWaitingDatagrams();

    std::set<std::string> names;
    int complete = 0;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        names.insert(tree->topLevelItem(i)->text(0).toStdString());
        complete += tree->topLevelItem(i)->childCount() == 11;
    }
    const int listed = tree->topLevelItemCount();
    window.reset();  // nothing more is sent

    const long sent = Delta(toolBefore, lab::ReadUdpCounters(), "OutDatagrams");
    testing_support::WaitUntil(
        30s, [&] { return NodeLines(*node) >= sent; }, [] { std::this_thread::sleep_for(100ms); });
    const long reported = NodeLines(*node);
    const auto nodeAfter = NodeHostCounters(nodeNamespace);
    node->Stop();
    const long nodeReceived = Delta(nodeBefore, nodeAfter, "InDatagrams");

    Result("soak_seconds", elapsed);
    Result("soak_keys_per_s", static_cast<double>(keys) / elapsed);
    Result("soak_poll_again", static_cast<double>(polls));
    Result("soak_rss_kb_settled", static_cast<double>(settledKb));
    Result("soak_rss_growth_kb", static_cast<double>(endKb - settledKb));
    Result("soak_datagrams_sent", static_cast<double>(sent));
    Result("soak_node_received", static_cast<double>(nodeReceived));
    Result("soak_node_reported", static_cast<double>(reported));
    Result("soak_node_polls_reported", static_cast<double>(NodeLines(*node, "poll ")));
    Result("soak_node_replies_sent",
           static_cast<double>(Delta(nodeBefore, nodeAfter, "OutDatagrams")));
    Result("soak_program_socket_drops", static_cast<double>(drops));
    Result("soak_waiting_peak", static_cast<double>(peakWaiting));
    Result("soak_listed", listed);
    Result("soak_all_listed_s", allListedS);
    Result("soak_message_boxes", static_cast<double>(boxes.Messages().size()));
    Result("soak_last_poll_replies_in_tree", lastPollListed ? 1 : 0);

    std::vector<std::string> failures;
    if (endKb - settledKb >= 1024) failures.push_back("resident memory grew by 1 MiB or more");
    if (reported != sent || nodeReceived != sent) {
        failures.push_back("the nodes did not receive every datagram sent");
    }
    if (drops != 0) failures.push_back("the kernel dropped datagrams on the window's socket");
    if (peakWaiting > static_cast<std::size_t>(count)) {
        failures.push_back("more replies waited at once than there are nodes");
    }
    if (listed != count || static_cast<int>(names.size()) != count || complete != count) {
        failures.push_back("not every node is listed once with its rows");
    }
    if (!lastPollListed)
        failures.push_back("the replies to the last Poll Again did not reach the tree");
    for (const std::string& text : boxes.Messages()) failures.push_back("message box: " + text);
    if (keys < static_cast<long>(elapsed * 95)) failures.push_back("fewer than 95 keys a second");
    for (const std::string& failure : failures) std::printf("FAIL %s\n", failure.c_str());
    if (failures.empty()) std::printf("PASS\n");
    return failures.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (lab::PrintHelp(argc, argv, kUsage)) return 0;
    try {
        const lab::Options options(argc, argv, 1, {"node", "node-ns", "seconds", "count"});
        int qtArgc = 1;
        QApplication application(qtArgc, argv);
        return Soak(options);
    } catch (const lab::UsageError& error) {
        return lab::UsageFailure("praveltest_soak", error);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "praveltest_soak: %s\n", error.what());
        return 1;
    }
}
