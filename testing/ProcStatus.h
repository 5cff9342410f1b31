// Readings from Linux's /proc for tests, benchmarks and the soak: memory, processor time,
// context switches, and the kernel's counters for UDP. Each parser takes the file's text, so
// it is checked against fixed texts; each reader fetches the text and parses it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace lab {

// The number of a "Name:   value kB" line of a status text; -1 when there is none.
long StatusField(const std::string& statusText, const std::string& name);

struct ProcMemory {
    long hwmKb = -1;  // VmHWM
    long rssKb = -1;  // VmRSS
};
ProcMemory ReadMemory(pid_t pid);
ProcMemory OwnMemory();

// The "Udp:" counters of a /proc/net/snmp text by name: InDatagrams, OutDatagrams,
// RcvbufErrors and the rest. Empty when the text has none.
std::map<std::string, long> UdpCounters(const std::string& snmpText);
// Those of the calling thread's network namespace.
std::map<std::string, long> ReadUdpCounters();

struct UdpSocketState {
    long receiveQueueBytes = 0;
    long drops = 0;  // datagrams the kernel dropped for this socket since it was made
};
// The first socket of a /proc/net/udp text bound to this local port.
std::optional<UdpSocketState> FindUdpSocket(const std::string& udpText, std::uint16_t port);
// In the calling thread's network namespace.
std::optional<UdpSocketState> ReadUdpSocket(std::uint16_t port);

struct TaskCounts {
    long switches = 0;           // voluntary + nonvoluntary context switches
    long voluntary = 0;          // the real wake-ups; the rest are preemptions
    std::int64_t runtimeNs = 0;  // from schedstat
    std::string name;
};

struct ProcActivity {
    long clockTicks = 0;              // utime + stime, ended threads included
    std::map<int, TaskCounts> tasks;  // by thread id
};
// utime + stime of a /proc/PID/stat text.
long ClockTicks(const std::string& statText);
ProcActivity ReadActivity(pid_t pid);
// Counts between two readings, thread by thread, of the thread onlyThread (0: all): a thread
// that ended in between takes its counts with it, one that started counts from zero.
TaskCounts Between(const ProcActivity& before, const ProcActivity& after, int onlyThread = 0);

}  // namespace lab
