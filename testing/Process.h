// A child process for tests and the performance harness: started with posix_spawn, its output kept
// in files in memory so a chatty child can never block on a full pipe, and always reaped.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lab {

struct ExitStatus {
    int code = -1;   // the exit code when the process exited
    int signal = 0;  // the signal that ended it, 0 when it exited
    bool Exited(int expected) const { return signal == 0 && code == expected; }
};

std::string Describe(const ExitStatus& status);

class Process {
public:
    // argv[0] is searched on PATH; environment entries "NAME=value" add to or replace the
    // inherited ones. Throws std::runtime_error when the process cannot be started.
    explicit Process(const std::vector<std::string>& argv,
                     const std::vector<std::string>& environment = {});
    // Kills the child's process group if it still runs, and reaps it.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t Pid() const { return m_pid; }
    // Taken just before the spawn call.
    std::chrono::steady_clock::time_point Started() const { return m_started; }
    bool IsRunning() { return !Wait(std::chrono::milliseconds(0)); }
    // Nothing when it is still running after timeout.
    std::optional<ExitStatus> Wait(std::chrono::milliseconds timeout);
    // To the child only, not its group, so tests see how the child itself handles it.
    void Signal(int signal);
    // SIGTERM, then SIGKILL to the group when it has not ended within grace.
    ExitStatus Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

    std::string Output() const;  // standard output so far
    std::string Errors() const;  // standard error so far
    // The complete lines of standard output, once there are at least count of them or
    // timeout has passed.
    std::vector<std::string> OutputLines(std::size_t count = 0,
                                         std::chrono::milliseconds timeout = {}) const;
    // The first complete output line that matches, waiting up to timeout for it to appear.
    std::optional<std::string> WaitForLine(const std::function<bool(const std::string&)>& match,
                                           std::chrono::milliseconds timeout) const;
    std::optional<std::string> WaitForLineStartingWith(const std::string& prefix,
                                                       std::chrono::milliseconds timeout) const {
        return WaitForLine([&](const std::string& line) { return line.starts_with(prefix); },
                           timeout);
    }

private:
    void KillGroup();

    pid_t m_pid = -1;
    std::chrono::steady_clock::time_point m_started;
    std::optional<ExitStatus> m_status;
    int m_output = -1;
    int m_errors = -1;
};

struct CommandResult {
    ExitStatus status;
    std::string output;
    std::string errors;
};

// Runs a command to the end; one still running after timeout is killed, and its status says
// by which signal.
CommandResult RunCommand(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

}  // namespace lab
