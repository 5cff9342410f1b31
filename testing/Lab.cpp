#include "testing/Lab.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "testing/Process.h"

namespace lab {
namespace {

constexpr char kNamespacePrefix[] = "ptlab";
constexpr char kToolHostName[] = "praveltest-lab";
constexpr const char* kBridges[] = {"br0", "br1"};

std::string UniqueName() {
    static std::atomic<int> counter{0};
    return kNamespacePrefix + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

std::filesystem::path ConfigDirectory(const std::string& ns) {
    return std::filesystem::path("/etc/netns") / ns;
}

std::vector<std::string> NamespacesStartingWith(const std::string& prefix) {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/run/netns", error)) {
        const std::string ns = entry.path().filename().string();
        if (ns.starts_with(prefix)) found.push_back(ns);
    }
    return found;
}

// With its host file; empty when it went, else why not.
std::string DeleteNamespace(const std::string& ns) {
    const CommandResult result = RunCommand({"ip", "netns", "delete", ns});
    std::error_code ignored;
    std::filesystem::remove_all(ConfigDirectory(ns), ignored);
    if (result.status.Exited(0)) return {};
    return result.errors.empty() ? Describe(result.status) : result.errors;
}

// A test run that was killed never reached its Lab's destructor; what it left behind is
// recognised by the dead process id in the name.
void RemoveLabsOfDeadProcesses() {
    for (const std::string& ns : NamespacesStartingWith(kNamespacePrefix)) {
        const pid_t owner = static_cast<pid_t>(std::atol(ns.c_str() + sizeof kNamespacePrefix - 1));
        if (owner > 0 && kill(owner, 0) != 0 && errno == ESRCH) DeleteNamespace(ns);
    }
}

std::string CheckAvailable() {
    if (geteuid() != 0) return "the lab needs root to make network namespaces";
    RemoveLabsOfDeadProcesses();
    const std::string probe = UniqueName() + "-probe";
    for (const char* verb : {"add", "delete"}) {
        const CommandResult result = RunCommand({"ip", "netns", verb, probe});
        if (!result.status.Exited(0)) {
            return std::string("ip netns ") + verb + " failed (" + Describe(result.status) +
                   "): " + result.errors;
        }
    }
    return {};
}

}  // namespace

bool Available(std::string* why) {
    static const std::string problem = CheckAvailable();
    if (why) *why = problem;
    return problem.empty();
}

bool Required() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

std::string Ip(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"ip"};
    argv.insert(argv.end(), args.begin(), args.end());
    const CommandResult result = RunCommand(argv);
    if (result.status.Exited(0)) return result.output;
    std::string command = "ip";
    for (const std::string& each : args) command += " " + each;
    throw std::runtime_error("'" + command + "' failed with " + Describe(result.status) + ": " +
                             result.errors);
}

Lab::Lab(int prefixLength, const std::string& hostNameAddress, const std::string& name)
    : m_name(name.empty() ? UniqueName() : name), m_prefixLength(prefixLength) {
    try {
        m_switch = AddNamespace("sw");
        Ip({"-n", m_switch, "link", "add", kBridges[0], "up", "type", "bridge"});
        m_tool = AddNamespace("tool");
        const std::filesystem::path config = ConfigDirectory(m_tool);
        std::filesystem::create_directories(config);
        std::ofstream hosts(config / "hosts");
        hosts << "127.0.0.1 localhost\n::1 localhost ip6-localhost ip6-loopback\n"
              << hostNameAddress << ' ' << kToolHostName << '\n';
        hosts.close();
        if (!hosts) throw std::runtime_error("cannot write " + (config / "hosts").string());
        Connect(m_tool, kToolAddress, prefixLength);
    } catch (...) {
        Cleanup();
        throw;
    }
}

void Lab::Cleanup() noexcept {
    // Hosts before the switch: each veth pair goes with the host's end.
    for (auto each = m_namespaces.rbegin(); each != m_namespaces.rend(); ++each) {
        std::string error;
        try {
            error = DeleteNamespace(*each);
        } catch (const std::exception& exception) {
            error = exception.what();
        }
        if (!error.empty()) {
            std::fprintf(stderr, "lab: cannot delete namespace %s: %s\n", each->c_str(),
                         error.c_str());
        }
    }
    m_namespaces.clear();
}

void RemoveLab(const std::string& name) {
    const std::string prefix = name + "-";
    std::vector<std::string> found = NamespacesStartingWith(prefix);
    for (const std::string& ns : found) {
        std::istringstream pids(RunCommand({"ip", "netns", "pids", ns}).output);
        for (pid_t pid = 0; pids >> pid;) kill(pid, SIGKILL);
    }
    // Hosts before the switch, as in Cleanup.
    std::stable_partition(found.begin(), found.end(),
                          [&](const std::string& ns) { return ns != prefix + "sw"; });
    for (const std::string& ns : found) DeleteNamespace(ns);
}

std::string Lab::AddNamespace(const std::string& role) {
    const std::string ns = m_name + "-" + role;
    Ip({"netns", "add", ns});
    m_namespaces.push_back(ns);
    Ip({"-n", ns, "link", "set", "lo", "up"});
    return ns;
}

void Lab::AddSecondNetwork() {
    Ip({"-n", m_switch, "link", "add", kBridges[1], "up", "type", "bridge"});
    Connect(m_tool, "10.7.0.3", 24, 1, kSecondInterface);
}

void Lab::Connect(const std::string& ns, const std::string& address, int prefixLength, int network,
                  const std::string& interface) {
    // Appended rather than "p" + ...: GCC 12 at -O3 takes the latter for an overlapping copy.
    const std::string port = std::string("p").append(std::to_string(++m_ports));
    // Made in the switch with its peer placed straight into the host: no interface ever
    // appears in the namespace the tests were started in.
    Ip({"-n", m_switch, "link", "add", port, "master", kBridges[network], "up", "type", "veth",
        "peer", "name", interface, "netns", ns});
    Ip({"-n", ns, "addr", "add", address + "/" + std::to_string(prefixLength), "brd", "+", "dev",
        interface});
    SetLink(ns, "up", interface);
}

std::string Lab::AddHost(const std::string& address, int prefixLength, int network) {
    const std::string ns =
        AddNamespace(std::string("h").append(std::to_string(m_namespaces.size() - 1)));
    Connect(ns, address, prefixLength < 0 ? m_prefixLength : prefixLength, network);
    return ns;
}

std::vector<std::string> Lab::ExecCommand(const std::string& ns,
                                          const std::vector<std::string>& argv) {
    const std::string script = std::string("hostname ") + kToolHostName + " && exec \"$@\"";
    std::vector<std::string> command = NamespaceCommand(ns, {"unshare", "--uts"});
    command.insert(command.end(), {"sh", "-c", script, "sh"});
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

void Lab::SetLink(const std::string& ns, const char* state, const std::string& interface) {
    Ip({"-n", ns, "link", "set", interface, state});
}

std::vector<std::string> NamespaceCommand(const std::string& ns,
                                          const std::vector<std::string>& argv) {
    std::vector<std::string> command{"ip", "netns", "exec", ns};
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

NamespaceSwitch::NamespaceSwitch(const std::string& ns) {
    const std::string own = "/proc/self/task/" + std::to_string(gettid()) + "/ns/net";
    m_original = open(own.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_original < 0) throw std::runtime_error("cannot open " + own + ": " + strerror(errno));
    const std::string target = "/run/netns/" + ns;
    const int handle = open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0 || setns(handle, CLONE_NEWNET) != 0) {
        const std::string error = strerror(errno);
        if (handle >= 0) close(handle);
        close(m_original);
        throw std::runtime_error("cannot enter " + target + ": " + error);
    }
    close(handle);
}

NamespaceSwitch::~NamespaceSwitch() {
    if (setns(m_original, CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "cannot return to the original network namespace: %s\n",
                     strerror(errno));
        std::abort();
    }
    close(m_original);
}

}  // namespace lab
