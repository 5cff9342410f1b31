#include "testing/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace lab {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(5);

// Unlinked at once: nothing is left behind whatever happens to the test.
int AnonymousFile() {
    const char* directory = std::getenv("TMPDIR");
    std::string pattern =
        std::string(directory && *directory ? directory : "/tmp") + "/praveltest-lab-XXXXXX";
    const int handle = mkostemp(pattern.data(), O_CLOEXEC);
    if (handle < 0) throw std::runtime_error("mkostemp: " + std::string(std::strerror(errno)));
    unlink(pattern.c_str());
    return handle;
}

std::string ReadAll(int handle) {
    std::string text;
    char chunk[4096];
    off_t offset = 0;
    while (true) {
        const ssize_t got = pread(handle, chunk, sizeof chunk, offset);
        if (got <= 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
        offset += got;
    }
    return text;
}

ExitStatus FromWaitStatus(int status) {
    ExitStatus result;
    if (WIFEXITED(status)) {
        result.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> merged;
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** each = environ; *each != nullptr; ++each) {
        const std::string entry(*each);
        bool replaced = false;
        for (const std::string& change : changes) replaced |= nameOf(change) == nameOf(entry);
        if (!replaced) merged.push_back(entry);
    }
    merged.insert(merged.end(), changes.begin(), changes.end());
    return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& each : strings) pointers.push_back(each.data());
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

    std::vector<std::string> arguments = argv;
    std::vector<std::string> variables = MergedEnvironment(environment);
    std::vector<char*> argumentPointers = Pointers(arguments);
    std::vector<char*> variablePointers = Pointers(variables);
    m_started = Clock::now();
    const int error = posix_spawnp(&m_pid, arguments[0].c_str(), &actions, &attributes,
                                   argumentPointers.data(), variablePointers.data());
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
        kill(-m_pid, SIGKILL);
        kill(m_pid, SIGKILL);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    close(m_output);
    close(m_errors);
}

bool Process::IsRunning() {
    return !Wait(std::chrono::milliseconds(0));
}

std::optional<ExitStatus> Process::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!m_status) {
        int status = 0;
        const pid_t reaped = waitpid(m_pid, &status, WNOHANG);
        if (reaped == m_pid) {
            m_status = FromWaitStatus(status);
            break;
        }
        if (reaped < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(kPollInterval);
    }
    return m_status;
}

void Process::Signal(int signal) {
    if (!m_status) kill(m_pid, signal);
}

ExitStatus Process::Stop(std::chrono::milliseconds grace) {
    Signal(SIGTERM);
    if (const auto status = Wait(grace)) return *status;
    kill(-m_pid, SIGKILL);
    kill(m_pid, SIGKILL);
    return *Wait(std::chrono::hours(1));
}

std::string Process::Output() const {
    return ReadAll(m_output);
}

std::string Process::Errors() const {
    return ReadAll(m_errors);
}

std::vector<std::string> Process::OutputLines() const {
    std::vector<std::string> lines;
    const std::string text = Output();
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

std::optional<std::string> Process::WaitForLine(
    const std::function<bool(const std::string&)>& match, std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        for (const std::string& line : OutputLines()) {
            if (match(line)) return line;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::vector<std::string> Process::WaitForLines(std::size_t count,
                                               std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        std::vector<std::string> lines = OutputLines();
        if (lines.size() >= count || Clock::now() >= deadline) return lines;
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::optional<std::string> Process::WaitForLineStartingWith(
    const std::string& prefix, std::chrono::milliseconds timeout) const {
    return WaitForLine([&prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; },
                       timeout);
}

CommandResult RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    Process process(argv);
    CommandResult result;
    if (const auto status = process.Wait(timeout)) {
        result.status = *status;
    } else {
        result.status = process.Stop(std::chrono::milliseconds(0));
    }
    result.output = process.Output();
    result.errors = process.Errors();
    return result;
}

}  // namespace lab
