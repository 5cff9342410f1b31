#include "bench/perf/Support.h"

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace perf {
namespace {

std::int64_t Now(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The "Name:   value kB" field of a /proc status file.
long StatusField(const std::string& path, const std::string& field) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, field.size(), field) == 0 && line.size() > field.size() &&
            line[field.size()] == ':') {
            return std::atol(line.c_str() + field.size() + 1);
        }
    }
    return -1;
}

std::vector<std::string> Tasks(pid_t pid) {
    std::vector<std::string> tasks;
    const std::string directory = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') tasks.push_back(directory + "/" + entry->d_name);
        }
        closedir(dir);
    }
    return tasks;
}

}  // namespace

std::int64_t MonotonicNs() {
    return Now(CLOCK_MONOTONIC);
}
std::int64_t RealtimeNs() {
    return Now(CLOCK_REALTIME);
}

std::int64_t RealtimeMinusMonotonicNs() {
    // Bracketed, so a preemption between the two reads shows up as a wide bracket and is
    // retried rather than taken as an offset.
    std::int64_t best = 0;
    std::int64_t bestWidth = INT64_MAX;
    for (int i = 0; i < 5; ++i) {
        const std::int64_t before = MonotonicNs();
        const std::int64_t real = RealtimeNs();
        const std::int64_t after = MonotonicNs();
        if (after - before < bestWidth) {
            bestWidth = after - before;
            best = real - (before + after) / 2;
        }
    }
    return best;
}

double Median(std::vector<double> values) {
    return Percentile(std::move(values), 0.5);
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least this fraction of samples at or below it.
    const double rank = std::ceil(fraction * static_cast<double>(values.size()));
    const std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
    if (fraction == 0.5 && values.size() % 2 == 0) {
        return (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
    }
    return values[std::min(index, values.size() - 1)];
}

void Result(const std::string& key, double value) {
    std::printf("RESULT %s %.6g\n", key.c_str(), value);
    std::fflush(stdout);
}

void Result(const std::string& key, const std::string& value) {
    std::printf("RESULT %s %s\n", key.c_str(), value.c_str());
    std::fflush(stdout);
}

void Fail(const std::string& why) {
    std::fprintf(stderr, "praveltest_perf: %s\n", why.c_str());
    std::exit(1);
}

std::int64_t StartNs(const lab::Process& child) {
    // steady_clock is CLOCK_MONOTONIC on Linux.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(child.Started().time_since_epoch())
        .count();
}

ProcMemory ReadMemory(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    return {StatusField(path, "VmHWM"), StatusField(path, "VmRSS")};
}

ProcMemory OwnMemory() {
    return {StatusField("/proc/self/status", "VmHWM"), StatusField("/proc/self/status", "VmRSS")};
}

std::map<std::string, long> UdpCounters(const std::string& snmp) {
    // Two lines start with "Udp:": the names, then the values in the same order.
    std::istringstream lines(snmp);
    std::vector<std::vector<std::string>> udp;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Udp:", 0) != 0) continue;
        std::istringstream words(line.substr(4));
        udp.emplace_back(std::istream_iterator<std::string>(words),
                         std::istream_iterator<std::string>());
    }
    std::map<std::string, long> counters;
    if (udp.size() < 2) return counters;
    for (std::size_t i = 0; i < udp[0].size() && i < udp[1].size(); ++i) {
        counters[udp[0][i]] = std::atol(udp[1][i].c_str());
    }
    return counters;
}

ProcActivity ReadActivity(pid_t pid) {
    ProcActivity activity;
    {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Fields after the command name, which may hold spaces, start after the last ')'.
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        std::vector<std::string> values;
        while (fields >> field) values.push_back(field);
        // values[0] is field 3 (state); utime and stime are fields 14 and 15.
        if (values.size() > 12)
            activity.clockTicks = std::atol(values[11].c_str()) + std::atol(values[12].c_str());
    }
    for (const std::string& task : Tasks(pid)) {
        TaskCounts counts;
        counts.voluntary = StatusField(task + "/status", "voluntary_ctxt_switches");
        counts.switches =
            counts.voluntary + StatusField(task + "/status", "nonvoluntary_ctxt_switches");
        std::ifstream comm(task + "/comm");
        std::getline(comm, counts.name);
        std::ifstream schedstat(task + "/schedstat");
        schedstat >> counts.runtimeNs;
        activity.tasks[std::atoi(task.c_str() + task.rfind('/') + 1)] = counts;
    }
    return activity;
}

TaskCounts Between(const ProcActivity& before, const ProcActivity& after, int onlyThread) {
    TaskCounts total;
    for (const auto& [tid, counts] : after.tasks) {
        if (onlyThread && tid != onlyThread) continue;
        const auto earlier = before.tasks.find(tid);
        const TaskCounts start = earlier == before.tasks.end() ? TaskCounts{} : earlier->second;
        total.switches += counts.switches - start.switches;
        total.voluntary += counts.voluntary - start.voluntary;
        total.runtimeNs += counts.runtimeNs - start.runtimeNs;
        total.name += (total.name.empty() ? "" : ",") + counts.name;
    }
    return total;
}

std::optional<long> UdpReceiveQueue(std::uint16_t port) {
    std::ifstream in("/proc/net/udp");
    std::string line;
    std::getline(in, line);  // heading
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        fields >> slot >> local >> remote >> state >> queues;
        if (local.size() < 5 || local.substr(local.size() - 5) != wanted) continue;
        const std::size_t colon = queues.find(':');
        if (colon == std::string::npos) continue;
        return std::strtol(queues.c_str() + colon + 1, nullptr, 16);
    }
    return std::nullopt;
}

Options::Options(int argc, char** argv, int first) {
    for (int i = first; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        if (name.rfind("--", 0) != 0) Fail("expected --name value, got " + name);
        m_values[name.substr(2)] = argv[i + 1];
    }
}

std::string Options::Text(const std::string& name, const std::string& fallback) const {
    const auto found = m_values.find(name);
    return found == m_values.end() ? fallback : found->second;
}

int Options::Number(const std::string& name, int fallback) const {
    const auto found = m_values.find(name);
    return found == m_values.end() ? fallback : std::atoi(found->second.c_str());
}

}  // namespace perf
