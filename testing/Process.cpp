#include "testing/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "testing/Wait.h"

extern char** environ;

namespace lab {
namespace {

using Clock = std::chrono::steady_clock;

// A file in memory only: nothing is left behind whatever happens to the test.
int AnonymousFile() {
    const int handle = memfd_create("praveltest-output", MFD_CLOEXEC);
    if (handle < 0) throw std::runtime_error("memfd_create: " + std::string(std::strerror(errno)));
    return handle;
}

std::string ReadAll(int handle) {
    std::string text;
    char chunk[4096];
    for (ssize_t got;
         (got = pread(handle, chunk, sizeof chunk, static_cast<off_t>(text.size()))) > 0;) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

ExitStatus FromWaitStatus(int status) {
    if (WIFEXITED(status)) return {WEXITSTATUS(status), 0};
    return {-1, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes) {
    const auto nameOf = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> merged = changes;
    for (char** each = environ; *each != nullptr; ++each) {
        bool replaced = false;
        for (const std::string& change : changes) replaced |= nameOf(change) == nameOf(*each);
        if (!replaced) merged.push_back(*each);
    }
    return merged;
}

// For the spawn call, which takes char* but writes nothing.
std::vector<char*> Pointers(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const std::string& each : strings) pointers.push_back(const_cast<char*>(each.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

std::string Describe(const ExitStatus& status) {
    if (status.signal != 0) return "killed by signal " + std::to_string(status.signal);
    return "exit code " + std::to_string(status.code);
}

Process::Process(const std::vector<std::string>& argv,
                 const std::vector<std::string>& environment) {
    if (argv.empty()) throw std::invalid_argument("Process needs a command");
    m_output = AnonymousFile();
    m_errors = AnonymousFile();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, m_output, 1);
    posix_spawn_file_actions_adddup2(&actions, m_errors, 2);
    // Sockets the test holds must not live on in the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group, so the destructor can end everything it started.
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signals);

    const std::vector<char*> arguments = Pointers(argv);
    const std::vector<std::string> variables = MergedEnvironment(environment);
    const std::vector<char*> variablePointers = Pointers(variables);
    m_started = Clock::now();
    const int error = posix_spawnp(&m_pid, argv[0].c_str(), &actions, &attributes, arguments.data(),
                                   variablePointers.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        close(m_output);
        close(m_errors);
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
    }
}

Process::~Process() {
    if (!m_status) {
        KillGroup();
        while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    close(m_output);
    close(m_errors);
}

void Process::KillGroup() {
    kill(-m_pid, SIGKILL);
    kill(m_pid, SIGKILL);
}

std::optional<ExitStatus> Process::Wait(std::chrono::milliseconds timeout) {
    testing_support::WaitUntil(timeout, [this] {
        int status = 0;
        const pid_t reaped = m_status ? 0 : waitpid(m_pid, &status, WNOHANG);
        if (reaped == m_pid) m_status = FromWaitStatus(status);
        if (reaped < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
        return m_status.has_value();
    });
    return m_status;
}

void Process::Signal(int signal) {
    if (!m_status) kill(m_pid, signal);
}

ExitStatus Process::Stop(std::chrono::milliseconds grace) {
    Signal(SIGTERM);
    if (const auto status = Wait(grace)) return *status;
    KillGroup();
    return *Wait(std::chrono::hours(1));
}

std::string Process::Output() const {
    return ReadAll(m_output);
}

std::string Process::Errors() const {
    return ReadAll(m_errors);
}

std::vector<std::string> Process::OutputLines(std::size_t count,
                                              std::chrono::milliseconds timeout) const {
    std::vector<std::string> lines;
    testing_support::WaitUntil(timeout, [&] {
        lines.clear();
        const std::string text = Output();
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != text.npos;
             start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines.size() >= count;
    });
    return lines;
}

std::optional<std::string> Process::WaitForLine(
    const std::function<bool(const std::string&)>& match, std::chrono::milliseconds timeout) const {
    std::optional<std::string> found;
    testing_support::WaitUntil(timeout, [&] {
        const std::vector<std::string> lines = OutputLines();
        const auto line = std::find_if(lines.begin(), lines.end(), match);
        if (line != lines.end()) found = *line;
        return found.has_value();
    });
    return found;
}

CommandResult RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    Process process(argv);
    const auto status = process.Wait(timeout);
    // Braced members are evaluated in order: the child has ended before its output is read.
    return {status ? *status : process.Stop(std::chrono::milliseconds(0)), process.Output(),
            process.Errors()};
}

}  // namespace lab
