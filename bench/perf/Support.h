// What the performance harness needs around the program besides the shared process and
// socket helpers: clocks, figures, /proc readings and its own options.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/lab/Process.h"
#include "tests/support/PeerSocket.h"

namespace perf {

using lab::Process;
using testing_support::Datagram;
using testing_support::PeerSocket;

std::int64_t MonotonicNs();
std::int64_t RealtimeNs();
// CLOCK_REALTIME minus CLOCK_MONOTONIC now, to carry kernel receive stamps (realtime) over to
// the monotonic clock that the launcher and the floor program use.
std::int64_t RealtimeMinusMonotonicNs();

double Median(std::vector<double> values);
double Percentile(std::vector<double> values, double fraction);

// One "RESULT key value" line on standard output; perf.sh builds its table from these.
void Result(const std::string& key, double value);
void Result(const std::string& key, const std::string& value);
[[noreturn]] void Fail(const std::string& why);

// CLOCK_MONOTONIC just before the child was spawned.
std::int64_t StartNs(const lab::Process& child);

struct ProcMemory {
    long hwmKb = 0;
    long rssKb = 0;
};
ProcMemory ReadMemory(pid_t pid);
ProcMemory OwnMemory();

// The "Udp:" counters of a /proc/net/snmp text by name: InDatagrams, OutDatagrams,
// RcvbufErrors and the rest. Empty when the text has none.
std::map<std::string, long> UdpCounters(const std::string& snmp);

struct TaskCounts {
    long switches = 0;           // voluntary + nonvoluntary, /proc/PID/task/TID/status
    long voluntary = 0;          // the real wake-ups; the rest are preemptions
    std::int64_t runtimeNs = 0;  // /proc/PID/task/TID/schedstat
    std::string name;
};

struct ProcActivity {
    long clockTicks = 0;              // utime + stime, /proc/PID/stat, ended threads included
    std::map<int, TaskCounts> tasks;  // by thread id
};
ProcActivity ReadActivity(pid_t pid);
// Counts between two readings, thread by thread, of the threads in onlyThread (0: all): a
// thread that ended in between takes its counts with it, one that started counts from zero.
TaskCounts Between(const ProcActivity& before, const ProcActivity& after, int onlyThread = 0);

// Bytes waiting in the receive queue of the UDP socket bound to this local port, in the
// calling thread's network namespace; nothing when no such socket exists.
std::optional<long> UdpReceiveQueue(std::uint16_t port);

// --name value pairs after the mode word.
class Options {
public:
    Options(int argc, char** argv, int first);
    std::string Text(const std::string& name, const std::string& fallback = {}) const;
    int Number(const std::string& name, int fallback) const;

private:
    std::map<std::string, std::string> m_values;
};

}  // namespace perf
