// Figures of the test patterns: a 44 Hz chase from praveltest-cli on the tool host, and one from
// the Channel Check window in this process, beside the main window's tick.
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "app/NodeTestDlg.h"
#include "bench/perf/Harness.h"
#include "protocol/NodeProtocol.h"
#include "res/ResourceIds.h"
#include "testing/FrameTiming.h"
#include "testing/Lab.h"
#include "testing/MainWindow.h"

namespace perf {
namespace {

constexpr double kChaseRate = 44.0;
constexpr double kPeriodMs = 1000.0 / kChaseRate;

std::unique_ptr<PeerSocket> Listener(const Setup& setup) {
    lab::NamespaceSwitch inside(setup.nodeNamespace);
    auto listener = std::make_unique<PeerSocket>("0.0.0.0", protocol::kNodePort);
    listener->SetReceiveBuffer(1 << 20);
    return listener;
}

bool AllZero(const Datagram& datagram) {
    const auto& bytes = datagram.bytes;
    return bytes.size() > protocol::kDmxHeaderLength &&
           std::all_of(bytes.begin() + protocol::kDmxHeaderLength, bytes.end(),
                       [](std::uint8_t byte) { return byte == 0; });
}

// The chase's frames from the tool host, until its zero frame or the bound; their kernel stamps.
std::vector<std::int64_t> ChaseArrivals(PeerSocket& listener, std::chrono::milliseconds bound,
                                        bool& ended) {
    std::vector<std::int64_t> arrivals;
    ended = false;
    for (const Datagram& datagram : listener.ReceiveFor(bound)) {
        if (datagram.senderAddress != lab::kToolAddress) continue;
        if (AllZero(datagram)) {
            ended = true;
            break;
        }
        arrivals.push_back(datagram.kernelRealtimeNs);
    }
    return arrivals;
}

struct Chase {
    std::vector<std::int64_t> arrivals;
    bool ended = false;
};

struct Judged {
    std::string value;
    bool met = false;
};

Judged Judge(const Chase& chase, std::size_t expected) {
    const auto& arrivals = chase.arrivals;
    const auto timing = testing_support::TimeFrames(arrivals, 1e6 * kPeriodMs);
    const bool countRight = arrivals.size() + 1 >= expected && arrivals.size() <= expected + 1;
    return {Format("%.2f / %.2f ms, %.2f ms behind (%zu frames of %zu%s)", timing.medianIntervalMs,
                   timing.longestIntervalMs, timing.latestMs, arrivals.size(), expected,
                   chase.ended ? ", then the zero frame" : ", no zero frame"),
            std::abs(timing.medianIntervalMs - kPeriodMs) <= 1.0 &&
                timing.longestIntervalMs <= kPeriodMs + 5.0 && timing.latestMs <= 5.0 &&
                countRight && chase.ended};
}

// The goal holds on an idle machine; a shared virtual one now and then stalls a process for
// tens of milliseconds. A run so disturbed is taken again, twice at most, and the row says
// what the earlier runs measured.
constexpr int kChaseTries = 3;

void ChaseRow(const std::string& from, std::size_t expected, const std::function<Chase()>& run) {
    Judged judged;
    std::string earlier;
    int tries = 0;
    while (tries < kChaseTries && !judged.met) {
        if (tries > 0) earlier += (tries > 1 ? "; " : "") + judged.value;
        judged = Judge(run(), expected);
        ++tries;
    }
    Goal(Format("44 Hz chase over 512 channels from %s: interval median / longest, the latest "
                "frame behind its deadline",
                from.c_str()),
         judged.value +
             (tries > 1 ? Format(" (run %d of %d; before: %s)", tries, kChaseTries, earlier.c_str())
                        : std::string()),
         "", Format("median within 1 ms of %.2f ms, none later than 5 ms, every frame", kPeriodMs),
         judged.met);
}

}  // namespace

void MeasureChase(const Setup& setup, Application& application) {
    const auto seconds = std::to_string(setup.chaseSeconds);
    const std::size_t expected = static_cast<std::size_t>(setup.chaseSeconds * kChaseRate);
    ChaseRow("praveltest-cli", expected, [&] {
        auto listener = Listener(setup);
        Process cli({setup.cli, "pattern", "chase", "--channels", "1-512", "--rate", "44",
                     "--seconds", seconds});
        Chase chase;
        chase.arrivals =
            ChaseArrivals(*listener, std::chrono::seconds(setup.chaseSeconds + 10), chase.ended);
        const auto status = cli.Wait(10s);
        if (!status || !status->Exited(0)) Fail("praveltest-cli pattern chase: " + cli.Errors());
        return chase;
    });

    std::vector<double> tickMs;
    ChaseRow("the Channel Check window", expected, [&] {
        auto listener = Listener(setup);
        auto window = testing_support::OpenMainWindow(
            testing_support::WindowEnvironment(protocol::kNodePort, lab::kToolAddress));
        window->show();
        QTest::qWait(300);  // start-up's own work, outside the measure
        listener->Discard();
        window->SendSystemCommand(res::kCommandChannelCheck);
        ChannelCheckWindow* check = window->ChannelCheck();
        if (!check) Fail("Channel Check did not open");
        check->kind->setCurrentIndex(static_cast<int>(pattern::Kind::Chase));
        check->rate->setValue(kChaseRate);
        check->first->setValue(1);
        check->last->setValue(512);
        tickMs.clear();
        WatchTicks(application, *window, tickMs);
        check->Start();
        // The program's own event loop: QTest::qWait would sleep 10 ms between its rounds.
        QEventLoop loop;
        QTimer::singleShot(setup.chaseSeconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        check->Stop();
        application.watcher = nullptr;
        Chase chase;
        chase.arrivals = ChaseArrivals(*listener, 2s, chase.ended);
        return chase;
    });
    const double longest = Percentile(tickMs, 1);
    Goal("Channel Check's 44 Hz chase: the main window's longest tick",
         Format("%.2f ms (median %.2f ms, %zu ticks)", longest, Percentile(tickMs, 0.5),
                tickMs.size()),
         "", "< 5 ms", longest < 5);
}

}  // namespace perf
