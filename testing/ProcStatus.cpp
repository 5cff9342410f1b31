#include "testing/ProcStatus.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace lab {
namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream stream(line);
    return {std::istream_iterator<std::string>(stream), std::istream_iterator<std::string>()};
}

}  // namespace

long StatusField(const std::string& statusText, const std::string& name) {
    std::istringstream lines(statusText);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(name + ":")) return std::atol(line.c_str() + name.size() + 1);
    }
    return -1;
}

ProcMemory ReadMemory(pid_t pid) {
    const std::string status = ReadText("/proc/" + std::to_string(pid) + "/status");
    return {StatusField(status, "VmHWM"), StatusField(status, "VmRSS")};
}

ProcMemory OwnMemory() {
    return ReadMemory(getpid());
}

std::map<std::string, long> UdpCounters(const std::string& snmpText) {
    // Two lines start with "Udp:": the names, then the values in the same order.
    std::istringstream lines(snmpText);
    std::vector<std::vector<std::string>> udp;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("Udp:")) udp.push_back(Words(line.substr(4)));
    }
    std::map<std::string, long> counters;
    for (std::size_t i = 0; udp.size() >= 2 && i < udp[0].size() && i < udp[1].size(); ++i) {
        counters[udp[0][i]] = std::atol(udp[1][i].c_str());
    }
    return counters;
}

std::map<std::string, long> ReadUdpCounters() {
    return UdpCounters(ReadText("/proc/thread-self/net/snmp"));
}

std::optional<UdpSocketState> FindUdpSocket(const std::string& udpText, std::uint16_t port) {
    // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ref pointer drops
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    std::istringstream lines(udpText);
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> fields = Words(line);
        if (fields.size() < 13 || !fields[1].ends_with(wanted)) continue;
        const std::size_t colon = fields[4].find(':');
        if (colon == std::string::npos) continue;
        return UdpSocketState{std::strtol(fields[4].c_str() + colon + 1, nullptr, 16),
                              std::atol(fields[12].c_str())};
    }
    return std::nullopt;
}

std::optional<UdpSocketState> ReadUdpSocket(std::uint16_t port) {
    return FindUdpSocket(ReadText("/proc/thread-self/net/udp"), port);
}

long ClockTicks(const std::string& statText) {
    // The fields after the command name, which may hold spaces, start after the last ')'.
    const std::size_t close = statText.rfind(')');
    if (close == std::string::npos) return -1;
    const std::vector<std::string> fields = Words(statText.substr(close + 1));
    // fields[0] is field 3 (state); utime and stime are fields 14 and 15.
    if (fields.size() < 13) return -1;
    return std::atol(fields[11].c_str()) + std::atol(fields[12].c_str());
}

ProcActivity ReadActivity(pid_t pid) {
    const std::string process = "/proc/" + std::to_string(pid);
    ProcActivity activity;
    activity.clockTicks = ClockTicks(ReadText(process + "/stat"));
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(process + "/task", ignored)) {
        const std::string task = entry.path().string();
        const std::string status = ReadText(task + "/status");
        TaskCounts counts;
        counts.voluntary = StatusField(status, "voluntary_ctxt_switches");
        counts.switches = counts.voluntary + StatusField(status, "nonvoluntary_ctxt_switches");
        std::istringstream comm(ReadText(task + "/comm"));
        std::getline(comm, counts.name);
        std::istringstream(ReadText(task + "/schedstat")) >> counts.runtimeNs;
        activity.tasks[std::atoi(entry.path().filename().c_str())] = counts;
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

}  // namespace lab
