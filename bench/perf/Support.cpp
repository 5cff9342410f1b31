#include "bench/perf/Support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace perf {
namespace {

std::int64_t Now(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
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

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment,
             bool pipeOutput) {
    std::vector<std::string> environment;
    for (char** each = environ; *each; ++each) {
        const std::string entry = *each;
        const std::string name = entry.substr(0, entry.find('='));
        const bool replaced = std::any_of(
            extraEnvironment.begin(), extraEnvironment.end(),
            [&](const std::string& extra) { return extra.substr(0, extra.find('=')) == name; });
        if (!replaced) environment.push_back(entry);
    }
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> args;
    for (const std::string& each : argv) args.push_back(const_cast<char*>(each.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& each : environment) env.push_back(const_cast<char*>(each.c_str()));
    env.push_back(nullptr);

    char errorsPath[] = "/tmp/praveltest-perf-XXXXXX";
    m_errors = mkstemp(errorsPath);
    if (m_errors < 0) Fail(Errno("mkstemp"));
    unlink(errorsPath);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int output[2] = {-1, -1};
    if (pipeOutput) {
        if (pipe2(output, O_CLOEXEC) != 0) Fail(Errno("pipe"));
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, m_errors, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so that stopping it reaches whatever it started.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    m_startNs = MonotonicNs();
    const int spawned =
        posix_spawnp(&m_pid, args[0], &actions, &attributes, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (pipeOutput) {
        close(output[1]);
        m_output = output[0];
    }
    if (spawned != 0) Fail("cannot start " + argv[0] + ": " + std::strerror(spawned));
}

Child::~Child() {
    Stop(std::chrono::milliseconds(500));
    if (m_output >= 0) close(m_output);
    if (m_errors >= 0) close(m_errors);
}

bool Child::IsRunning() {
    if (m_reaped) return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) m_reaped = true;
    return !m_reaped;
}

std::optional<std::string> Child::ReadLine(std::chrono::milliseconds timeout) {
    const std::int64_t deadline = MonotonicNs() + timeout.count() * 1'000'000;
    for (;;) {
        const std::size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return line;
        }
        if (m_output < 0) return std::nullopt;
        const std::int64_t left = deadline - MonotonicNs();
        if (left <= 0) return std::nullopt;
        pollfd wait{m_output, POLLIN, 0};
        if (poll(&wait, 1, static_cast<int>(left / 1'000'000) + 1) <= 0) continue;
        char buffer[4096];
        const ssize_t got = read(m_output, buffer, sizeof buffer);
        if (got <= 0) {
            close(m_output);
            m_output = -1;
            continue;
        }
        m_pending.append(buffer, static_cast<std::size_t>(got));
    }
}

std::optional<std::string> Child::WaitForLineStartingWith(const std::string& prefix,
                                                          std::chrono::milliseconds timeout) {
    const std::int64_t deadline = MonotonicNs() + timeout.count() * 1'000'000;
    for (;;) {
        const std::int64_t left = deadline - MonotonicNs();
        if (left <= 0) return std::nullopt;
        const auto line = ReadLine(std::chrono::milliseconds(left / 1'000'000 + 1));
        if (!line) return std::nullopt;
        if (line->compare(0, prefix.size(), prefix) == 0) return line;
    }
}

void Child::Stop(std::chrono::milliseconds grace) {
    if (m_reaped || m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    const std::int64_t deadline = MonotonicNs() + grace.count() * 1'000'000;
    while (IsRunning() && MonotonicNs() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (IsRunning()) {
        kill(-m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_reaped = true;
    }
}

int Child::Wait(std::chrono::milliseconds timeout) {
    const std::int64_t deadline = MonotonicNs() + timeout.count() * 1'000'000;
    int status = 0;
    while (!m_reaped) {
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_reaped = true;
            break;
        }
        if (MonotonicNs() > deadline) {
            kill(-m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            m_reaped = true;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Child::Errors() const {
    std::string text;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t got = pread(m_errors, buffer, sizeof buffer, at);
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
    return text;
}

ProcMemory ReadMemory(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    return {StatusField(path, "VmHWM"), StatusField(path, "VmRSS")};
}

ProcMemory OwnMemory() {
    return {StatusField("/proc/self/status", "VmHWM"), StatusField("/proc/self/status", "VmRSS")};
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

StampedSocket::StampedSocket(const std::string& address, std::uint16_t port, bool reuse,
                             int receiveBytes) {
    m_handle = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_handle < 0) Fail(Errno("socket"));
    const int on = 1;
    if (reuse) setsockopt(m_handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(m_handle, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    if (receiveBytes > 0 &&
        setsockopt(m_handle, SOL_SOCKET, SO_RCVBUFFORCE, &receiveBytes, sizeof receiveBytes) != 0) {
        setsockopt(m_handle, SOL_SOCKET, SO_RCVBUF, &receiveBytes, sizeof receiveBytes);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (bind(m_handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        Fail(Errno("bind " + address + ":" + std::to_string(port)));
    }
}

StampedSocket::~StampedSocket() {
    if (m_handle >= 0) close(m_handle);
}

std::optional<Datagram> StampedSocket::Receive(std::chrono::milliseconds timeout) {
    pollfd wait{m_handle, POLLIN, 0};
    if (poll(&wait, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
    Datagram datagram;
    datagram.bytes.resize(2048);
    sockaddr_in sender{};
    iovec vector{datagram.bytes.data(), datagram.bytes.size()};
    alignas(cmsghdr) char control[128];
    msghdr message{};
    message.msg_name = &sender;
    message.msg_namelen = sizeof sender;
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(m_handle, &message, MSG_DONTWAIT);
    if (got < 0) return std::nullopt;
    datagram.bytes.resize(static_cast<std::size_t>(got));
    for (cmsghdr* each = CMSG_FIRSTHDR(&message); each; each = CMSG_NXTHDR(&message, each)) {
        if (each->cmsg_level == SOL_SOCKET && each->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(each), sizeof stamp);
            datagram.kernelRealtimeNs =
                static_cast<std::int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
        }
    }
    char address[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sender.sin_addr, address, sizeof address);
    datagram.sender = address;
    return datagram;
}

void StampedSocket::Drain() {
    while (Receive(std::chrono::milliseconds(0))) {
    }
}

std::uint16_t FreeLoopbackPort() {
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &local.sin_addr);
    socklen_t length = sizeof local;
    const bool bound = bind(probe, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
                       getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    close(probe);
    if (!bound) Fail("no free loopback port");
    return ntohs(local.sin_port);
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
