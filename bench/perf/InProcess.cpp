// Figures of the real main window inside this process: key-to-datagram latency and the drag
// rate on loopback, discovery against simulated nodes in the lab, and the soak.
#include <QAbstractItemModel>
#include <QApplication>
#include <QEventLoop>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "app/NodeTestDlg.h"
#include "bench/perf/Modes.h"
#include "bench/perf/Support.h"
#include "framework/MessageBox.h"
#include "framework/ModalLoop.h"
#include "net/HostAddress.h"
#include "res/ResourceIds.h"

namespace perf {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kLevelByte = 9;  // the first channel's level follows the 9-byte header
constexpr std::size_t kFullMessage = 522;

class BoxCounter {
public:
    BoxCounter() {
        m_previous = framework::SetMessageBoxSink([this](const std::string& text) {
            if (m_texts.empty()) m_first = text;
            m_texts.push_back(text);
        });
    }
    ~BoxCounter() { framework::SetMessageBoxSink(std::move(m_previous)); }
    std::size_t Count() const { return m_texts.size(); }
    const std::string& First() const { return m_first; }

private:
    std::vector<std::string> m_texts;
    std::string m_first;
    framework::MessageBoxSink m_previous;
};

std::unique_ptr<CNodeTestDlg> OpenWindow(std::uint16_t port, const std::string& hostAddress) {
    framework::ResetQuitRequest();
    net::NodeSocketEnvironment environment = DefaultSocketEnvironment();
    environment.port = port;
    environment.lookupHostAddress = [hostAddress] { return net::ParseAddress(hostAddress); };
    return std::make_unique<CNodeTestDlg>(std::move(environment));
}

void ShowAndActivate(CNodeTestDlg& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowActive(&window)) Fail("the window did not become active");
}

bool IsLevelMessage(const Datagram& datagram) {
    const auto& b = datagram.bytes;
    return b.size() == kFullMessage && b[0] == 'V' && b[1] == 'X' && b[2] == 'D' && b[3] == 'D';
}

// Levels in arrival order, collected on a thread of their own while the window sends; any
// other datagram counts as level -1, so that it shows up as out of place.
class Collector {
public:
    explicit Collector(PeerSocket& socket)
        : m_thread([this, &socket] {
              for (;;) {
                  const auto datagram = socket.Receive(50ms);
                  if (!datagram) {
                      if (m_stop) return;
                      continue;
                  }
                  m_levels.push_back(IsLevelMessage(*datagram) ? datagram->bytes[kLevelByte] : -1);
              }
          }) {}
    // Returns once nothing has arrived for 50 ms after the stop.
    void Finish() {
        m_stop = true;
        m_thread.join();
    }
    const std::vector<int>& Levels() const { return m_levels; }

private:
    std::atomic<bool> m_stop{false};
    std::vector<int> m_levels;
    std::thread m_thread;
};

struct DragFigures {
    double perSecond = 0;
    std::size_t moves = 0;
    std::size_t lost = 0;
    std::size_t misordered = 0;
};

// Moves the held-down thumb without pause for the duration, reversing at the ends so every
// move changes the level; with events, each move is also painted as a real drag would be.
DragFigures Drag(QSlider& slider, PeerSocket& observer, std::chrono::milliseconds duration,
                 bool processEvents) {
    observer.Discard();
    std::vector<int> sentLevels;
    sentLevels.reserve(1 << 20);
    Collector collector(observer);
    int position = slider.sliderPosition();
    int step = position > slider.minimum() ? -1 : 1;
    slider.setSliderDown(true);
    const std::int64_t from = MonotonicNs();
    const std::int64_t until = from + duration.count() * 1'000'000;
    std::int64_t now = from;
    while (now < until) {
        if (position + step < slider.minimum() || position + step > slider.maximum()) step = -step;
        position += step;
        slider.setSliderPosition(position);
        sentLevels.push_back(255 - position);
        if (processEvents) QCoreApplication::processEvents();
        now = MonotonicNs();
    }
    const std::int64_t to = now;
    slider.setSliderDown(false);
    collector.Finish();

    DragFigures figures;
    figures.moves = sentLevels.size();
    figures.perSecond =
        static_cast<double>(sentLevels.size()) / (static_cast<double>(to - from) / 1e9);
    const std::vector<int>& got = collector.Levels();
    figures.lost = got.size() < sentLevels.size() ? sentLevels.size() - got.size() : 0;
    // Every message in place: the n-th received carries the n-th level sent.
    for (std::size_t i = 0; i < std::min(got.size(), sentLevels.size()); ++i) {
        if (got[i] != sentLevels[i]) ++figures.misordered;
    }
    if (got.size() > sentLevels.size()) figures.misordered += got.size() - sentLevels.size();
    return figures;
}

}  // namespace

int RunLatency(const Options& options) {
    const int samples = options.Number("samples", 1000);
    const auto dragTime = std::chrono::milliseconds(options.Number("drag-ms", 2000));
    BoxCounter boxes;
    // Bound first, on a port the system chooses; the window then shares it.
    PeerSocket observer("127.0.0.255", 0, true);
    // Big enough that a whole drag waits here if the collector falls behind: a drop would be
    // this harness's, not the program's.
    observer.SetReceiveBuffer(256 << 20);
    auto window = OpenWindow(observer.Port(), "127.0.0.1");
    // The window's own share of start-up, in a process whose Qt is already up.
    const std::int64_t creating = MonotonicNs();
    window->Create();
    const std::int64_t created = MonotonicNs();
    window->show();
    QCoreApplication::processEvents();
    const std::int64_t shown = MonotonicNs();
    Result("window_create_ms", static_cast<double>(created - creating) / 1e6);
    Result("window_show_ms", static_cast<double>(shown - created) / 1e6);
    ShowAndActivate(*window);
    QTest::qWait(50);
    observer.Discard();  // the start-up poll
    auto* slider = qobject_cast<QSlider*>(window->Item(res::kIdSlider));
    if (!slider) Fail("no level slider");

    // Which key moves the thumb which way depends on the slider's inverted controls: ask it.
    const int startPosition = slider->sliderPosition();
    QTest::keyClick(slider, Qt::Key_Up);
    const bool upLowers =
        slider->sliderPosition() < startPosition ||
        (slider->sliderPosition() == startPosition && startPosition == slider->minimum());
    QCoreApplication::processEvents();
    observer.Discard();

    std::vector<double> latencyMs;
    std::size_t lost = 0, wrong = 0;
    for (int i = 0; i < samples; ++i) {
        const int position = slider->sliderPosition();
        const bool lower = position > slider->minimum() && (position == slider->maximum() || i % 2);
        const Qt::Key key = lower == upLowers ? Qt::Key_Up : Qt::Key_Down;
        const std::int64_t pressed = RealtimeNs();
        QTest::keyClick(slider, key);
        const auto datagram = observer.Receive(1000ms);
        if (!datagram || !IsLevelMessage(*datagram)) {
            ++lost;
            continue;
        }
        if (slider->sliderPosition() == position) ++wrong;  // the key did not move the thumb
        if (datagram->bytes[kLevelByte] != 255 - slider->sliderPosition()) ++wrong;
        latencyMs.push_back(static_cast<double>(datagram->kernelRealtimeNs - pressed) / 1e6);
        QCoreApplication::processEvents();  // the repaint, outside the measured path
    }
    QTest::qWait(20);
    while (const auto extra = observer.Receive(0ms)) {
        if (IsLevelMessage(*extra)) ++wrong;
    }
    Result("latency_samples", static_cast<double>(latencyMs.size()));
    Result("latency_ms_median", Median(latencyMs));
    Result("latency_ms_p99", Percentile(latencyMs, 0.99));
    Result("latency_ms_max", Percentile(latencyMs, 1.0));
    Result("latency_lost", static_cast<double>(lost));
    Result("latency_wrong", static_cast<double>(wrong));

    const DragFigures raw = Drag(*slider, observer, dragTime, false);
    Result("drag_raw_per_s", raw.perSecond);
    Result("drag_raw_moves", static_cast<double>(raw.moves));
    Result("drag_raw_lost", static_cast<double>(raw.lost));
    Result("drag_raw_misordered", static_cast<double>(raw.misordered));
    const DragFigures painted = Drag(*slider, observer, dragTime, true);
    Result("drag_painted_per_s", painted.perSecond);
    Result("drag_painted_moves", static_cast<double>(painted.moves));
    Result("drag_painted_lost", static_cast<double>(painted.lost));
    Result("drag_painted_misordered", static_cast<double>(painted.misordered));
    Result("latency_message_boxes", static_cast<double>(boxes.Count()));
    if (boxes.Count()) Result("latency_first_box", "\"" + boxes.First() + "\"");
    return 0;
}

int RunDiscovery(const Options& options) {
    std::vector<int> counts;
    {
        std::istringstream list(options.Text("counts", "10,100,500"));
        std::string each;
        while (std::getline(list, each, ',')) counts.push_back(std::stoi(each));
    }
    for (const int count : counts) {
        const std::string key = "discovery_" + std::to_string(count) + "_";
        Process node({"ip", "netns", "exec", options.Text("node-ns"), options.Text("node"),
                      "--count", std::to_string(count)});
        if (!node.WaitForLineStartingWith("ready ", 5s)) Fail("node not ready: " + node.Errors());
        BoxCounter boxes;
        // This process runs in the lab's tool namespace: the window's socket is made there.
        auto window = OpenWindow(3333, "10.1.2.3");
        window->Create();  // opens the socket, starts the tick and sends the one poll
        const std::int64_t polled = MonotonicNs();
        auto* tree = qobject_cast<QTreeWidget*>(window->Item(res::kIdTree));
        if (!tree) Fail("no device tree");
        std::int64_t firstAt = 0, allAt = 0;
        QEventLoop loop;
        QObject::connect(tree->model(), &QAbstractItemModel::rowsInserted, &loop,
                         [&](const QModelIndex& parent) {
                             if (parent.isValid()) return;
                             const std::int64_t now = MonotonicNs();
                             if (!firstAt) firstAt = now;
                             if (!allAt && tree->topLevelItemCount() >= count) {
                                 allAt = now;
                                 // A few more ticks, to see that nothing else turns up.
                                 QTimer::singleShot(350, &loop, &QEventLoop::quit);
                             }
                         });
        QTimer::singleShot((count + 1) * 100 * 2 + 5000, &loop, &QEventLoop::quit);
        window->show();
        loop.exec();

        const auto poll = node.WaitForLineStartingWith("poll ", 1s);
        std::set<std::string> names;
        int complete = 0;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* entry = tree->topLevelItem(i);
            names.insert(entry->text(0).toStdString());
            if (entry->childCount() == 11 &&
                entry->child(0)->text(0).startsWith(QStringLiteral("IP Address: 10.1.2."))) {
                ++complete;
            }
        }
        Result(key + "listed", tree->topLevelItemCount());
        Result(key + "distinct", static_cast<double>(names.size()));
        Result(key + "complete", complete);
        Result(key + "node_replies", poll ? poll->substr(poll->rfind('=') + 1) : "none");
        Result(key + "first_s", firstAt ? static_cast<double>(firstAt - polled) / 1e9 : -1);
        Result(key + "all_s", allAt ? static_cast<double>(allAt - polled) / 1e9 : -1);
        Result(key + "message_boxes", static_cast<double>(boxes.Count()));
        if (boxes.Count()) Result(key + "first_box", "\"" + boxes.First() + "\"");
        window.reset();
        node.Stop();
    }
    return 0;
}

namespace {

std::map<std::string, long> NodeHostCounters(const std::string& nodeNamespace) {
    const auto snmp =
        lab::RunCommand({"ip", "netns", "exec", nodeNamespace, "cat", "/proc/net/snmp"});
    if (!snmp.status.Exited(0)) Fail("cannot read the node host's counters: " + snmp.errors);
    return UdpCounters(snmp.output);
}

std::map<std::string, long> OwnHostCounters() {
    std::ifstream in("/proc/net/snmp");
    return UdpCounters(std::string(std::istreambuf_iterator<char>(in), {}));
}

long Delta(const std::map<std::string, long>& before, const std::map<std::string, long>& after,
           const std::string& name) {
    const auto from = before.find(name);
    const auto to = after.find(name);
    if (from == before.end() || to == after.end()) Fail("no Udp counter " + name);
    return to->second - from->second;
}

// The datagrams the node has reported so far: every one it read gets a line.
long NodeLines(const Process& node, const std::string& prefix = {}) {
    long lines = 0;
    for (const std::string& line : node.OutputLines()) {
        const bool datagram = line.rfind("dmx ", 0) == 0 || line.rfind("poll ", 0) == 0 ||
                              line.rfind("ignored ", 0) == 0;
        if (datagram && line.rfind(prefix, 0) == 0) ++lines;
    }
    return lines;
}

}  // namespace

int RunSoak(const Options& options) {
    const int minutes = options.Number("minutes", 10);
    const int count = options.Number("count", 50);
    const std::string nodeNamespace = options.Text("node-ns");
    if (minutes < 2) Fail("--minutes must be 2 or more: memory is compared from minute 1 on");
    BoxCounter boxes;
    Process node({"ip", "netns", "exec", nodeNamespace, options.Text("node"), "--count",
                  std::to_string(count)});
    if (!node.WaitForLineStartingWith("ready ", 10s)) Fail("node not ready: " + node.Errors());
    const auto toolBefore = OwnHostCounters();
    const auto nodeBefore = NodeHostCounters(nodeNamespace);

    // This process runs in the lab's tool namespace: the window's socket is made there.
    auto window = OpenWindow(3333, "10.1.2.3");
    window->Create();
    ShowAndActivate(*window);
    auto* slider = qobject_cast<QSlider*>(window->Item(res::kIdSlider));
    auto* tree = qobject_cast<QTreeWidget*>(window->Item(res::kIdTree));
    QWidget* pollAgain = window->Item(res::kIdPollAgain);
    if (!slider || !tree || !pollAgain) Fail("the window lacks its slider, tree or Poll Again");
    slider->setFocus();

    const std::int64_t start = MonotonicNs();
    long keys = 0, levelChanges = 0, polls = 0;
    double allListedS = -1;
    QObject::connect(slider, &QSlider::valueChanged, [&] { ++levelChanges; });
    QObject::connect(tree->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (allListedS < 0 && tree->topLevelItemCount() >= count) {
            allListedS = static_cast<double>(MonotonicNs() - start) / 1e9;
        }
    });
    // Keys keep to 100 a second on average whatever the timer's jitter: each timeout sends
    // the presses that are due, a few at most.
    QTimer keyTimer;
    keyTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&keyTimer, &QTimer::timeout, [&] {
        const std::int64_t due = (MonotonicNs() - start) / 10'000'000;
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
    long firstMinuteKb = 0;
    int minute = 0;
    QTimer minuteTimer;
    QObject::connect(&minuteTimer, &QTimer::timeout, [&] {
        const long rss = OwnMemory().rssKb;
        if (++minute == 1) firstMinuteKb = rss;
        Result("soak_rss_kb_minute_" + std::to_string(minute), static_cast<double>(rss));
    });
    keyTimer.start(10);
    pollTimer.start(2000);
    minuteTimer.start(60'000);
    QEventLoop loop;
    QTimer::singleShot(minutes * 60'000 + 500, &loop, &QEventLoop::quit);
    loop.exec();
    keyTimer.stop();
    pollTimer.stop();
    minuteTimer.stop();
    const double elapsed = static_cast<double>(MonotonicNs() - start) / 1e9;
    // Taken before the node's report is read, which takes memory of its own.
    const long endKb = OwnMemory().rssKb;

    std::set<std::string> names;
    int complete = 0;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        names.insert(tree->topLevelItem(i)->text(0).toStdString());
        if (tree->topLevelItem(i)->childCount() == 11) ++complete;
    }
    const int listed = tree->topLevelItemCount();
    window.reset();  // nothing more is sent

    const long sent = Delta(toolBefore, OwnHostCounters(), "OutDatagrams");
    const std::int64_t deadline = MonotonicNs() + 30'000'000'000LL;
    while (NodeLines(node) < sent && MonotonicNs() < deadline) {
        std::this_thread::sleep_for(100ms);
    }
    const long reported = NodeLines(node);
    const auto nodeAfter = NodeHostCounters(nodeNamespace);
    const auto toolAfter = OwnHostCounters();
    node.Stop();

    Result("soak_seconds", elapsed);
    Result("soak_keys", static_cast<double>(keys));
    Result("soak_keys_per_s", static_cast<double>(keys) / elapsed);
    Result("soak_level_changes", static_cast<double>(levelChanges));
    Result("soak_poll_again", static_cast<double>(polls));
    Result("soak_rss_kb_first_minute", static_cast<double>(firstMinuteKb));
    Result("soak_rss_kb_end", static_cast<double>(endKb));
    Result("soak_rss_growth_kb", static_cast<double>(endKb - firstMinuteKb));
    Result("soak_datagrams_sent", static_cast<double>(sent));
    Result("soak_node_received", static_cast<double>(Delta(nodeBefore, nodeAfter, "InDatagrams")));
    Result("soak_node_reported", static_cast<double>(reported));
    Result("soak_node_polls_reported", static_cast<double>(NodeLines(node, "poll ")));
    Result("soak_node_queue_drops",
           static_cast<double>(Delta(nodeBefore, nodeAfter, "RcvbufErrors")));
    Result("soak_node_replies_sent",
           static_cast<double>(Delta(nodeBefore, nodeAfter, "OutDatagrams")));
    Result("soak_program_received",
           static_cast<double>(Delta(toolBefore, toolAfter, "InDatagrams")));
    // One read per tick against 100 of its own broadcasts a second: the program's queue
    // fills, and the kernel drops what does not fit. A figure, not a fault of the bridge.
    Result("soak_program_queue_drops",
           static_cast<double>(Delta(toolBefore, toolAfter, "RcvbufErrors")));
    Result("soak_listed", listed);
    Result("soak_listed_distinct", static_cast<double>(names.size()));
    Result("soak_all_listed_s", allListedS);
    Result("soak_message_boxes", static_cast<double>(boxes.Count()));
    if (boxes.Count()) Result("soak_first_box", "\"" + boxes.First() + "\"");

    std::vector<std::string> failures;
    if (endKb - firstMinuteKb >= 1024) failures.push_back("resident memory grew by 1 MiB or more");
    if (reported != sent || Delta(nodeBefore, nodeAfter, "InDatagrams") != sent) {
        failures.push_back("the nodes did not receive every datagram sent");
    }
    if (listed != count || static_cast<int>(names.size()) != count || complete != count) {
        failures.push_back("not every node is listed once with its rows");
    }
    if (boxes.Count()) failures.push_back("a message box was shown");
    if (keys < static_cast<long>(elapsed * 95)) failures.push_back("fewer than 95 keys a second");
    for (const std::string& failure : failures) std::printf("FAIL %s\n", failure.c_str());
    if (failures.empty()) std::printf("PASS\n");
    return failures.empty() ? 0 : 1;
}

}  // namespace perf
