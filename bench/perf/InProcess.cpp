// Figures of the real main window inside this process: key-to-datagram latency and the drag
// rate on loopback, then discovery and a DMX flood in the lab.
#include <unistd.h>

#include <QAbstractItemModel>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <set>
#include <thread>

#include "app/NodeTestDlg.h"
#include "bench/perf/Harness.h"
#include "protocol/NodeProtocol.h"
#include "res/ResourceIds.h"
#include "testing/Console.h"
#include "testing/Lab.h"
#include "testing/LabNode.h"
#include "testing/MainWindow.h"
#include "testing/MonitorWindow.h"
#include "testing/ProcStatus.h"

namespace perf {
namespace {

std::unique_ptr<CNodeTestDlg> OpenWindow(std::uint16_t port, const std::string& hostAddress) {
    return testing_support::OpenMainWindow(testing_support::WindowEnvironment(port, hostAddress));
}

template <class T>
T* Control(CNodeTestDlg& window, int id) {
    auto* control = qobject_cast<T*>(window.Item(id));
    if (!control) Fail("the window lacks control " + std::to_string(id));
    return control;
}

// The level of a DMX data message of the full length, or -1 for any other datagram.
int LevelOf(const Datagram& datagram) {
    const auto& bytes = datagram.bytes;
    const bool dmx =
        bytes.size() == protocol::kDmxBufferLength &&
        std::equal(protocol::kCodeDmxData.begin(), protocol::kCodeDmxData.end(), bytes.begin());
    return dmx ? bytes[protocol::kDmxHeaderLength] : -1;
}

}  // namespace

void WatchTicks(Application& application, CNodeTestDlg& window, std::vector<double>& tickMs) {
    const auto timers = window.findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
    if (timers.size() != 1) Fail("the window does not have its one receive timer");
    const QObject* tick = timers.front();
    application.watcher = [tick, &tickMs](const QObject* receiver, QEvent::Type type,
                                          std::int64_t ns) {
        if (receiver == tick && type == QEvent::Timer)
            tickMs.push_back(static_cast<double>(ns) / 1e6);
    };
}

namespace {

// A node on the node host that the window has not heard yet.
std::unique_ptr<Process> StartNode(const Setup& setup, const std::vector<std::string>& options) {
    return lab::StartNode(setup.node, setup.nodeNamespace, options);
}

// Poll Again, and the seconds until the tree holds count entries; NAN when not within limit.
double PollAgainUntilListed(CNodeTestDlg& window, int count, std::chrono::milliseconds limit) {
    auto* tree = Control<QTreeWidget>(window, res::kIdTree);
    const std::int64_t pressed = MonotonicNs();
    QTest::mouseClick(Control<QWidget>(window, res::kIdPollAgain), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return tree->topLevelItemCount() >= count; },
                         static_cast<int>(limit.count()))) {
        return NAN;
    }
    return static_cast<double>(MonotonicNs() - pressed) / 1e9;
}

// Empty once a tick has taken what was on its way, or after a bounded wait.
lab::UdpSocketState DrainedSocket() {
    (void)QTest::qWaitFor([] {
        const auto socket = lab::ReadUdpSocket(protocol::kNodePort);
        return !socket || socket->receiveQueueBytes == 0;
    });
    const auto socket = lab::ReadUdpSocket(protocol::kNodePort);
    if (!socket) Fail("the window's socket is gone");
    return *socket;
}

int LevelAt(const QSlider& slider) {
    return 255 - slider.sliderPosition();
}

// Moves the held-down thumb without pause for the duration, reversing at the ends so every
// move changes the level; with events, each move is also painted as a real drag would be.
void Drag(QSlider& slider, PeerSocket& observer, std::chrono::milliseconds duration,
          bool processEvents) {
    observer.Discard();
    std::vector<int> sent;
    sent.reserve(1 << 20);
    // Levels in arrival order, collected on a thread of their own while the window sends,
    // until nothing has come for 50 ms after the stop.
    std::vector<int> got;
    std::atomic<bool> stop{false};
    std::thread collector([&] {
        for (auto datagram = observer.Receive(50ms); datagram || !stop;
             datagram = observer.Receive(50ms)) {
            if (datagram) got.push_back(LevelOf(*datagram));
        }
    });
    int step = slider.sliderPosition() > slider.minimum() ? -1 : 1;
    slider.setSliderDown(true);
    const std::int64_t from = MonotonicNs();
    const std::int64_t until = from + duration.count() * 1'000'000;
    std::int64_t now = from;
    for (int position = slider.sliderPosition(); now < until; now = MonotonicNs()) {
        if (position + step < slider.minimum() || position + step > slider.maximum()) step = -step;
        position += step;
        slider.setSliderPosition(position);
        sent.push_back(LevelAt(slider));
        if (processEvents) QCoreApplication::processEvents();
    }
    slider.setSliderDown(false);
    stop = true;
    collector.join();
    std::size_t lost = got.size() < sent.size() ? sent.size() - got.size() : 0;
    // The n-th received carries the n-th level sent; the thumb's release may add one more of
    // the last level.
    std::size_t misordered = 0;
    for (std::size_t i = 0; i < std::min(got.size(), sent.size()); ++i) {
        misordered += got[i] != sent[i];
    }
    for (std::size_t i = sent.size(); i < got.size(); ++i) misordered += got[i] != sent.back();
    const double rate = static_cast<double>(sent.size()) / (static_cast<double>(now - from) / 1e9);
    Goal(Format("Drag without pause, %s", processEvents ? "each move painted" : "moves only"),
         Format("%.0f msg/s, %.1f µs each (%zu moves, %zu lost, %zu out of order)", rate,
                1e6 / rate, sent.size(), lost, misordered),
         "", "< 1 ms each, none lost or reordered", rate > 1000 && lost == 0 && misordered == 0);
}

}  // namespace

void MeasureLatency(const Setup& setup) {
    // Bound first, on a port the system chooses; the window then shares it.
    PeerSocket observer("127.0.0.255", 0, true);
    // Big enough that a whole drag waits here if the collector falls behind: a drop would be
    // this harness's, not the program's.
    observer.SetReceiveBuffer(256 << 20);
    const std::int64_t creating = MonotonicNs();
    auto window = OpenWindow(observer.Port(), "127.0.0.1");
    const std::int64_t created = MonotonicNs();
    window->show();
    QCoreApplication::processEvents();
    Row("Main window alone in a process whose Qt is up: create (ends with the poll) / show",
        Format("%.1f / %.1f ms", static_cast<double>(created - creating) / 1e6,
               static_cast<double>(MonotonicNs() - created) / 1e6));
    if (!testing_support::ShowActive(*window)) Fail("the window did not become active");
    auto* slider = Control<QSlider>(*window, res::kIdSlider);
    if (!observer.Receive(1s)) Fail("no start-up poll on loopback");

    // A key sends on its press, and its release sends the end of the scroll with the level
    // as it stands: two messages per key, each timed from its own event.
    std::vector<double> pressMs, releaseMs;
    std::size_t lost = 0, wrong = 0;
    const auto await = [&](int expectedLevel, std::int64_t since, std::vector<double>& into) {
        const auto datagram = observer.Receive(1000ms);
        if (!datagram) return void(++lost);
        if (LevelOf(*datagram) != expectedLevel) return void(++wrong);
        into.push_back(static_cast<double>(datagram->kernelRealtimeNs - since) / 1e6);
    };
    for (int i = 0; i < setup.samples; ++i) {
        const int position = slider->sliderPosition();
        // Towards the far end first, back one line every other key; Down raises the position.
        const bool down = position == slider->minimum() || (position != slider->maximum() && i % 2);
        const Qt::Key key = down ? Qt::Key_Down : Qt::Key_Up;
        const std::int64_t pressed = RealtimeNs();
        QTest::keyPress(slider, key);
        if (slider->sliderPosition() == position) ++wrong;  // the key did not move the thumb
        await(LevelAt(*slider), pressed, pressMs);
        const std::int64_t released = RealtimeNs();
        QTest::keyRelease(slider, key);
        await(LevelAt(*slider), released, releaseMs);
        QCoreApplication::processEvents();  // the repaint, outside the measured path
    }
    while (observer.Receive(20ms)) ++wrong;  // nothing may follow
    const double longest = std::max(Percentile(pressMs, 1), Percentile(releaseMs, 1));
    for (const auto& [event, ms] : {std::pair{"press", &pressMs}, {"release", &releaseMs}}) {
        const double p99 = Percentile(*ms, 0.99);
        Goal(Format("Slider key %s to its datagram%s, median / p99 of %d keys", event,
                    ms == &releaseMs ? " (the end of the scroll)" : "", setup.samples),
             Format("%.3f / %.3f ms (max of both %.3f; %zu lost, %zu wrong)", Percentile(*ms, 0.5),
                    p99, longest, lost, wrong),
             "", "< 1 ms, none lost or wrong", p99 < 1 && lost == 0 && wrong == 0);
    }
    const auto drag = std::chrono::milliseconds(setup.dragMs);
    Drag(*slider, observer, drag, false);
    Drag(*slider, observer, drag, true);
}

void MeasureDiscovery(const Setup& setup) {
    for (const int count : setup.counts) {
        const auto node = StartNode(setup, {"--count", std::to_string(count)});
        // This process runs in the lab's tool namespace: the window's socket is made there.
        auto window = OpenWindow(protocol::kNodePort, lab::kToolAddress);
        const std::int64_t polled = MonotonicNs();
        auto* tree = Control<QTreeWidget>(*window, res::kIdTree);
        std::int64_t allAt = 0;
        QObject::connect(tree->model(), &QAbstractItemModel::rowsInserted, window.get(), [&] {
            if (!allAt && tree->topLevelItemCount() >= count) allAt = MonotonicNs();
        });
        window->show();
        if (QTest::qWaitFor([&] { return allAt != 0; }, (count + 1) * 200 + 5000)) {
            QTest::qWait(350);  // a few more ticks, to see that nothing else turns up
        }

        std::set<std::string> names;
        int complete = 0;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* entry = tree->topLevelItem(i);
            names.insert(entry->text(0).toStdString());
            complete += entry->childCount() == 11 &&
                        entry->child(0)->text(0).startsWith(QStringLiteral("IP Address: 10.1.2."));
        }
        const int listed = tree->topLevelItemCount();
        const double allS = allAt ? static_cast<double>(allAt - polled) / 1e9 : NAN;
        const double floorS = count / 10.0;
        Goal(Format("Discovery of %d nodes after one poll (floor %.1f s)", count, floorS),
             Format("%.2f s (%d listed)", allS, listed), Format("%.3f of the floor", allS / floorS),
             "near n/10 s, no node lost",
             listed == count && static_cast<int>(names.size()) == count && complete == count &&
                 allS < floorS + 1);
        window.reset();
        node->Stop();
    }
}

void MeasureFlood(const Setup& setup, const Floor& floor, Application& application) {
    auto window = OpenWindow(protocol::kNodePort, lab::kToolAddress);
    window->show();
    QTest::qWait(300);  // start-up's own work, outside the measure
    const auto socketBefore = lab::ReadUdpSocket(protocol::kNodePort);
    if (!socketBefore) Fail("the window's socket is not on the node port in the tool namespace");

    // A console on another host: full DMX data messages, 32 universes in turn, paced to the
    // rate in one-millisecond steps.
    std::atomic<long> sent{0};
    std::atomic<bool> stop{false};
    std::thread console([&] {
        std::unique_ptr<PeerSocket> socket;
        lab::InNamespace(setup.nodeNamespace,
                         [&] { socket = std::make_unique<PeerSocket>("0.0.0.0", 0); });
        protocol::DmxBuffer buffer;
        protocol::DmxDataFields fields;
        fields.channelCount = static_cast<int>(protocol::kMaxChannels);
        const std::int64_t from = MonotonicNs();
        while (!stop) {
            const long due =
                static_cast<long>((MonotonicNs() - from) / 1'000'000) * setup.floodRate / 1000;
            for (; sent < due; ++sent) {
                fields.universe = static_cast<int>(1 + sent % 32);
                const std::size_t length = protocol::BuildDmxData(fields, buffer);
                socket->SendTo("10.1.2.255", protocol::kNodePort,
                               std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + length));
            }
            std::this_thread::sleep_for(1ms);
        }
    });

    std::vector<double> tickMs;
    WatchTicks(application, *window, tickMs);
    const lab::ProcActivity before = lab::ReadActivity(getpid());
    const std::int64_t from = MonotonicNs();
    QTest::qWait(setup.floodSeconds * 1000);
    const lab::ProcActivity after = lab::ReadActivity(getpid());
    const double elapsed = static_cast<double>(MonotonicNs() - from) / 1e9;
    stop = true;
    console.join();
    // What was on its way is read (or dropped) once a tick has emptied the queue; what a tick
    // left behind shows in the row as bytes left queued.
    const auto socketAfter = DrainedSocket();
    application.watcher = nullptr;

    const long drops = socketAfter.drops - socketBefore->drops;
    Goal(Format("DMX flood from another host, %.0f datagrams/s for %.0f s: kernel drops on the "
                "program's socket",
                static_cast<double>(sent) / elapsed, elapsed),
         Format("%ld of %ld sent (%ld bytes left queued)", drops, sent.load(),
                socketAfter.receiveQueueBytes),
         "", "none", drops == 0);
    const double longest = Percentile(tickMs, 1);
    Goal("DMX flood: the longest tick's work",
         Format("%.2f ms (median %.2f ms, %.1f ticks/s)", longest, Percentile(tickMs, 0.5),
                static_cast<double>(tickMs.size()) / elapsed),
         "", "< 5 ms", longest < 5);
    // The window's thread and its socket's reader: the console's thread is the other host's.
    std::int64_t windowNs = lab::Between(before, after, getpid()).runtimeNs;
    for (const auto& [thread, task] : after.tasks) {
        if (task.name == "socket reader") windowNs += lab::Between(before, after, thread).runtimeNs;
    }
    const double cpu = 100.0 * static_cast<double>(windowNs) / 1e9 / elapsed;
    Row("DMX flood: processor time of the window's threads", Format("%.1f %% of one core", cpu),
        Format("%.0f × the idle floor", cpu / floor.idleCpuPercent));
}

void MeasureShowScaleWindow(const Setup& setup, Application& application) {
    auto window = OpenWindow(protocol::kNodePort, lab::kToolAddress);
    window->show();
    QTest::qWait(300);  // start-up's own work, outside the measure
    // Started after the window's start-up poll, so only Poll Again can find it.
    const auto node = StartNode(setup, {"--name", "Latecomer"});
    const auto socketBefore = lab::ReadUdpSocket(protocol::kNodePort);
    if (!socketBefore) Fail("the window's socket is not on the node port in the tool namespace");

    testing_support::Console console(setup.nodeNamespace, kShowUniverses, "10.1.2.255");
    QTest::qWait(1000);  // the console at its pace
    std::vector<double> tickMs;
    WatchTicks(application, *window, tickMs);
    const std::int64_t from = MonotonicNs();
    const double listedS = PollAgainUntilListed(*window, 1, 10s);
    // The rest of the measure in ticks beside the console.
    const std::int64_t left = from + setup.showSeconds * 1'000'000'000LL - MonotonicNs();
    if (left > 0) QTest::qWait(static_cast<int>(left / 1'000'000));
    const double elapsed = static_cast<double>(MonotonicNs() - from) / 1e9;
    console.Stop();
    const lab::UdpSocketState socketAfter = DrainedSocket();
    application.watcher = nullptr;

    const long drops = socketAfter.drops - socketBefore->drops;
    // Tells a reply the window lost from a poll the node never heard.
    const bool answered = node->WaitForLineStartingWith("poll ", 1s).has_value();
    const std::string listed =
        std::isnan(listedS) ? std::string("not listed within 10 s") : Format("%.2f s", listedS);
    Goal(
        "Show-scale console, the window in this process with the same queue: a new node listed "
        "after Poll Again",
        listed +
            Format(" (kernel drops %ld%s)", drops, answered ? "" : "; the node never answered"),
        "", "< 1.1 s, a tick and a second", listedS < 1.1);
    const double longest = Percentile(tickMs, 1);
    Goal("Show-scale console: the longest tick's work",
         Format("%.2f ms (median %.2f ms, %.1f ticks/s)", longest, Percentile(tickMs, 0.5),
                static_cast<double>(tickMs.size()) / elapsed),
         "", "< 5 ms", longest < 5);
}

void MeasureShowScaleMonitor(const Setup& setup, Application& application) {
    constexpr int kFading = 1;
    auto window = OpenWindow(protocol::kNodePort, lab::kToolAddress);
    window->show();
    QTest::qWait(300);  // start-up's own work, outside the measure
    DmxMonitorWindow* monitor = testing_support::ChooseMonitorItem(*window);
    if (!monitor) Fail("the window menu has no DMX Monitor item");
    const auto socketBefore = lab::ReadUdpSocket(protocol::kNodePort);
    if (!socketBefore) Fail("the window's socket is not on the node port in the tool namespace");

    testing_support::Console console(setup.nodeNamespace, kShowUniverses, "10.1.2.255", kFading);
    int row = -1;
    if (!QTest::qWaitFor(
            [&] {
                row = testing_support::SourceRow(*monitor, "10.1.2.20", kFading);
                return row >= 0;
            },
            10000)) {
        Fail("the monitor never listed the console's fading universe");
    }
    monitor->SourceView()->selectRow(row);
    QTest::qWait(1000);  // the console at its pace, the grid on the fade
    std::vector<double> tickMs;
    std::vector<double> paintMs;
    const QObject* tick = window->findChildren<QTimer*>(Qt::FindDirectChildrenOnly).value(0);
    // A window's paint is one update request to it, which paints every widget that changed.
    application.watcher = [&](const QObject* receiver, QEvent::Type type, std::int64_t ns) {
        if (receiver == tick && type == QEvent::Timer) tickMs.push_back(ns / 1e6);
        if (receiver == monitor && type == QEvent::UpdateRequest) paintMs.push_back(ns / 1e6);
    };
    const lab::ProcActivity before = lab::ReadActivity(getpid());
    const std::int64_t from = MonotonicNs();
    QTest::qWait(setup.showSeconds * 1000);
    const lab::ProcActivity after = lab::ReadActivity(getpid());
    const double elapsed = static_cast<double>(MonotonicNs() - from) / 1e9;
    application.watcher = nullptr;
    const std::size_t marked = testing_support::RecentChannels(*monitor).size();
    console.Stop();
    const long sent = console.Sent();
    const lab::UdpSocketState socketAfter = DrainedSocket();

    const long drops = socketAfter.drops - socketBefore->drops;
    Goal(
        "Show-scale console, the DMX monitor window open on a fading universe: kernel drops on "
        "the program's socket",
        Format("%ld of %ld sent", drops, sent), "", testing_support::kKeptUpGoal,
        testing_support::KeptUpWith(drops, sent));
    // The window's thread and its socket's reader, which feeds the monitor; the console's
    // thread stands for the other host.
    std::int64_t programNs = lab::Between(before, after, getpid()).runtimeNs;
    for (const auto& [thread, task] : after.tasks) {
        if (task.name == "socket reader")
            programNs += lab::Between(before, after, thread).runtimeNs;
    }
    const double cpu = 100.0 * static_cast<double>(programNs) / 1e9 / elapsed;
    Goal(
        "Show-scale console, the monitor open: the program's processor time (window and reader "
        "threads)",
        Format("%.1f %% of one core", cpu), "", "< 10 %", cpu < 10);
    const double longest = Percentile(tickMs, 1);
    Goal("Show-scale console, the monitor open: the longest tick's work",
         Format("%.2f ms (median %.2f ms, %.1f ticks/s)", longest, Percentile(tickMs, 0.5),
                static_cast<double>(tickMs.size()) / elapsed),
         "", "< 5 ms", longest < 5);
    const double paintsPerSecond = static_cast<double>(paintMs.size()) / elapsed;
    Goal("Show-scale console, the monitor open: its paints, and each paint's time",
         Format("%.1f /s; median %.2f ms, longest %.2f ms (%zu of 512 cells marked as changed)",
                paintsPerSecond, Percentile(paintMs, 0.5), Percentile(paintMs, 1), marked),
         "", "≤ 20 /s, and it paints", paintsPerSecond <= 20 && !paintMs.empty() && marked > 0);
}

void MeasureRepeatedPolls(const Setup& setup) {
    constexpr int kRig = 5;
    constexpr int kPolls = 30;
    const auto rig = StartNode(setup, {"--count", std::to_string(kRig)});
    auto window = OpenWindow(protocol::kNodePort, lab::kToolAddress);
    window->show();
    auto* tree = Control<QTreeWidget>(*window, res::kIdTree);
    if (!QTest::qWaitFor([&] { return tree->topLevelItemCount() == kRig; }, 10000)) {
        Fail("the rig's nodes were not listed after the start-up poll");
    }
    QWidget* pollAgain = Control<QWidget>(*window, res::kIdPollAgain);
    const std::int64_t start = MonotonicNs();
    for (int press = 0; press < kPolls; ++press) {
        const std::int64_t left = start + press * 100'000'000LL - MonotonicNs();
        if (left > 0) QTest::qWait(static_cast<int>(left / 1'000'000));
        QTest::mouseClick(pollAgain, Qt::LeftButton);
    }
    const auto late = StartNode(setup, {"--name", "Latecomer"});
    const double listedS = PollAgainUntilListed(*window, kRig + 1, 20s);
    const std::size_t peak = window->Socket().PeakWaitingDatagrams();

    Goal(Format("Repeated polls, %d Poll Agains in 3 s with %d nodes answering: the waiting "
                "list's peak",
                kPolls, kRig),
         Format("%zu replies", peak), "", Format("≤ %d, one a node", kRig + 1),
         peak <= static_cast<std::size_t>(kRig + 1));
    Goal("Repeated polls: a late node listed after one more Poll Again",
         std::isnan(listedS) ? "not listed within 20 s" : Format("%.2f s", listedS), "", "< 2 s",
         listedS < 2);
}

}  // namespace perf
