// Figures of the real main window inside this process: key-to-datagram latency and the drag
// rate on loopback, and discovery against simulated nodes in the lab.
#include <QAbstractItemModel>
#include <QApplication>
#include <QEventLoop>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
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

}  // namespace perf
