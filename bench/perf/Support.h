// What the performance harness needs around the program: clocks, child processes, /proc
// readings, UDP sockets with kernel arrival times, and a way into another network namespace.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace perf {

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

// A started child with its standard output on a pipe (when asked for) and its standard error
// kept in an unlinked file for diagnosis.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment,
          bool pipeOutput);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return m_pid; }
    // CLOCK_MONOTONIC just before the spawn call.
    std::int64_t StartNs() const { return m_startNs; }
    bool IsRunning();
    // The next output line, waiting up to timeout; nothing at timeout or end of output.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    std::optional<std::string> WaitForLineStartingWith(const std::string& prefix,
                                                       std::chrono::milliseconds timeout);
    // SIGTERM, then SIGKILL after grace; always reaps.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));
    // Reaps a child that is ending by itself; SIGKILL after timeout.
    int Wait(std::chrono::milliseconds timeout);
    std::string Errors() const;

private:
    pid_t m_pid = -1;
    std::int64_t m_startNs = 0;
    bool m_reaped = false;
    int m_output = -1;
    int m_errors = -1;
    std::string m_pending;
};

struct ProcMemory {
    long hwmKb = 0;
    long rssKb = 0;
};
ProcMemory ReadMemory(pid_t pid);
ProcMemory OwnMemory();

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

struct Datagram {
    std::vector<std::uint8_t> bytes;
    std::string sender;
    std::int64_t kernelRealtimeNs = 0;
};

// A UDP socket that records when the kernel received each datagram.
class StampedSocket {
public:
    StampedSocket(const std::string& address, std::uint16_t port, bool reuse, int receiveBytes);
    ~StampedSocket();
    StampedSocket(const StampedSocket&) = delete;
    StampedSocket& operator=(const StampedSocket&) = delete;

    std::optional<Datagram> Receive(std::chrono::milliseconds timeout);
    void Drain();

private:
    int m_handle = -1;
};

std::uint16_t FreeLoopbackPort();

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
