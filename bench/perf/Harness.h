// The performance harness: every figure of bench/perf.sh, each beside the floor where one
// applies, then the table and its goals. Runs in the lab's tool namespace.
#pragma once

#include <QApplication>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "testing/PeerSocket.h"
#include "testing/Process.h"

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
};

// Figures by key, printed to standard error as they come.
void Record(const std::string& key, double value);
void RecordText(const std::string& key, const std::string& text);
// NAN (or empty) when the figure was not taken.
double Figure(const std::string& key);
std::string Text(const std::string& key);
[[noreturn]] void Fail(const std::string& why);

std::int64_t MonotonicNs();
std::int64_t RealtimeNs();
// CLOCK_REALTIME minus CLOCK_MONOTONIC now, to carry kernel receive stamps (realtime) over to
// the monotonic clock of the launcher and the floor.
std::int64_t RealtimeMinusMonotonicNs();
// CLOCK_MONOTONIC just before the child was spawned.
std::int64_t StartNs(const Process& child);
double Median(std::vector<double> values);
double Percentile(std::vector<double> values, double fraction);

// Hands every event's handling time to the watcher while one is set.
class Application : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
    std::function<void(const QObject*, QEvent::Type, std::int64_t ns)> watcher;
};

// Whole processes: the floor, and the real program in the lab.
void MeasureFloor(const Setup& setup);
void MeasureStartup(const Setup& setup);
void MeasureIdle(const Setup& setup);
void MeasureMemory(const Setup& setup);
void MeasureSize(const Setup& setup);
// The real main window in this process.
void MeasureLatency(const Setup& setup);
void MeasureDiscovery(const Setup& setup);
void MeasureFlood(const Setup& setup, Application& application);

// Prints the table; returns how many goals were missed.
int Report(const Setup& setup, std::FILE* out);

}  // namespace perf
