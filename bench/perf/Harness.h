// The performance harness: every figure of bench/perf.sh, each beside the floor where one
// applies, as rows of one table whose goals it checks. Runs in the lab's tool namespace.
#pragma once

#include <QApplication>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "testing/PeerSocket.h"
#include "testing/Process.h"

class CNodeTestDlg;

namespace perf {

using namespace std::chrono_literals;
using lab::Process;
using testing_support::Datagram;
using testing_support::PeerSocket;

// What one run measures, from the command line.
struct Setup {
    std::string program, node, floor, nodeNamespace;
    int runs = 10;
    int idleSeconds = 60;
    int entries = 500;
    int samples = 1000;
    int dragMs = 2000;
    int floodSeconds = 10;
    int floodRate = 20000;
    std::vector<int> counts{10, 100, 500};
    // The rows taken at a stock receive-queue limit instead of the usual ones.
    bool stockQueue = false;
    int showSeconds = 10;
    std::string cli;
    int chaseSeconds = 10;
    // Only the test patterns' rows.
    bool patternsOnly = false;
};

// A show's console: every universe, full frames, 44 times a second.
inline constexpr int kShowUniverses = 256;
// What a stock net.core.rmem_max (212,992) grants the program's 4 MiB request: twice that.
inline constexpr int kStockQueueBytes = 2 * 212992;

// The floor's figures, for the ratios of the program's.
struct Floor {
    double startMs = NAN;
    double hwmKb = NAN;
    double idleCpuPercent = NAN;  // by schedstat
    double idleWakeupsPerSecond = NAN;
};

// A row of the table, echoed to standard error as it comes.
void Row(const std::string& figure, const std::string& value, const std::string& ratio = {});
// A row with a goal; a figure that was not taken (NAN) compares false and misses it.
void Goal(const std::string& figure, const std::string& value, const std::string& ratio,
          const std::string& goal, bool met);
// Prints the table; returns how many goals were missed.
int PrintTable(std::FILE* out);

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void Fail(const std::string& why);

// The kernel receive queue a socket in this namespace gets when it asks for bytes.
int GrantedReceiveQueue(int bytes);

std::int64_t MonotonicNs();
std::int64_t RealtimeNs();
// CLOCK_REALTIME minus CLOCK_MONOTONIC now, to carry kernel receive stamps (realtime) over to
// the monotonic clock of the launcher and the floor.
std::int64_t RealtimeMinusMonotonicNs();
// CLOCK_MONOTONIC just before the child was spawned.
std::int64_t StartNs(const Process& child);
// Nearest rank; 0.5 of an even count is the mean of the middle two. NAN when empty.
double Percentile(std::vector<double> values, double fraction);

// Hands every event's handling time to the watcher while one is set.
class Application : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
    std::function<void(const QObject*, QEvent::Type, std::int64_t ns)> watcher;
};

// Whole processes: the floor, and the real program in the lab.
void MeasureFloor(const Setup& setup, Floor& floor);
void MeasureStartup(const Setup& setup, const Floor& floor);
void MeasureIdle(const Setup& setup, Floor& floor);
void MeasureMemory(const Setup& setup, const Floor& floor);
void MeasureSize(const Setup& setup);
void MeasureShowScaleProgram(const Setup& setup);
void MeasureShowScaleCliMonitor(const Setup& setup);
// The real main window in this process.
void MeasureLatency(const Setup& setup);
void MeasureDiscovery(const Setup& setup);
void MeasureFlood(const Setup& setup, const Floor& floor, Application& application);
void MeasureShowScaleWindow(const Setup& setup, Application& application);
// The same beside the DMX monitor window, open on a fading universe.
void MeasureShowScaleMonitor(const Setup& setup, Application& application);
void MeasureRepeatedPolls(const Setup& setup);
// A 44 Hz chase from praveltest-cli and from the Channel Check window.
void MeasureChase(const Setup& setup, Application& application);
// The tick's work: each timer event of the window's receive timer, from delivery to return, into
// tickMs until the application's watcher is cleared.
void WatchTicks(Application& application, CNodeTestDlg& window, std::vector<double>& tickMs);

}  // namespace perf
