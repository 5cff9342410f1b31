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
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "testing/Process.h"

namespace lab {
namespace {

constexpr char kNamespacePrefix[] = "ptlab";
constexpr const char* kBridges[] = {"br0", "br1"};
constexpr auto kCommandTimeout = std::chrono::seconds(10);

std::string Joined(const std::vector<std::string>& argv) {
    std::string text;
    for (const std::string& each : argv) text += (text.empty() ? "" : " ") + each;
    return text;
}

std::string UniqueName() {
    static std::atomic<int> counter{0};
    return kNamespacePrefix + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

std::filesystem::path ConfigDirectory(const std::string& ns) {
    return std::filesystem::path("/etc/netns") / ns;
}

// A test run that was killed never reached its Lab's destructor; what it left behind is
// recognised by the dead process id in the name.
void RemoveLabsOfDeadProcesses() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/run/netns", error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kNamespacePrefix, 0) != 0) continue;
        const std::string rest = name.substr(sizeof kNamespacePrefix - 1);
        const pid_t owner = static_cast<pid_t>(std::atol(rest.c_str()));
        if (owner <= 0 || kill(owner, 0) == 0 || errno != ESRCH) continue;
        RunCommand({"ip", "netns", "delete", name}, kCommandTimeout);
        std::filesystem::remove_all(ConfigDirectory(name), error);
    }
}

std::string CheckAvailable() {
    if (geteuid() != 0) return "the lab needs root to make network namespaces";
    RemoveLabsOfDeadProcesses();
    const std::string probe = UniqueName() + "-probe";
    const CommandResult added = RunCommand({"ip", "netns", "add", probe}, kCommandTimeout);
    if (!added.status.Exited(0)) {
        return "ip netns add failed (" + Describe(added.status) + "): " + added.errors;
    }
    const CommandResult deleted = RunCommand({"ip", "netns", "delete", probe}, kCommandTimeout);
    if (!deleted.status.Exited(0)) {
        return "ip netns delete failed (" + Describe(deleted.status) + "): " + deleted.errors;
    }
    return {};
}

}  // namespace

bool Available(std::string* why) {
    static std::once_flag once;
    static std::string problem;
    std::call_once(once, [] { problem = CheckAvailable(); });
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
    const CommandResult result = RunCommand(argv, kCommandTimeout);
    if (!result.status.Exited(0)) {
        throw std::runtime_error("'" + Joined(argv) + "' failed with " + Describe(result.status) +
                                 ": " + result.errors);
    }
    return result.output;
}

Lab::Lab(int prefixLength, const std::string& hostNameAddress, const std::string& name)
    : m_name(name.empty() ? UniqueName() : name), m_prefixLength(prefixLength) {
    try {
        m_switch = AddNamespace("sw");
        Ip({"-n", m_switch, "link", "add", kBridges[0], "type", "bridge"});
        Ip({"-n", m_switch, "link", "set", kBridges[0], "up"});
        m_tool = AddNamespace("tool");
        const std::filesystem::path config = ConfigDirectory(m_tool);
        std::filesystem::create_directories(config);
        m_configDirectories.push_back(config);
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

Lab::~Lab() {
    Cleanup();
}

void Lab::Cleanup() noexcept {
    for (auto each = m_namespaces.rbegin(); each != m_namespaces.rend(); ++each) {
        try {
            const CommandResult result =
                RunCommand({"ip", "netns", "delete", *each}, kCommandTimeout);
            if (!result.status.Exited(0)) {
                std::fprintf(stderr, "lab: cannot delete namespace %s: %s\n", each->c_str(),
                             result.errors.c_str());
            }
        } catch (const std::exception& error) {
            std::fprintf(stderr, "lab: cannot delete namespace %s: %s\n", each->c_str(),
                         error.what());
        }
    }
    m_namespaces.clear();
    for (const std::string& directory : m_configDirectories) {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    m_configDirectories.clear();
}

void Lab::Keep() {
    m_namespaces.clear();
    m_configDirectories.clear();
}

void RemoveLab(const std::string& name) {
    const std::string prefix = name + "-";
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/run/netns", error)) {
        const std::string ns = entry.path().filename().string();
        if (ns.rfind(prefix, 0) == 0) found.push_back(ns);
    }
    for (const std::string& ns : found) {
        const CommandResult pids = RunCommand({"ip", "netns", "pids", ns}, kCommandTimeout);
        std::istringstream list(pids.output);
        for (pid_t pid = 0; list >> pid;) kill(pid, SIGKILL);
    }
    // Hosts before the switch: each veth pair goes with the host's end.
    std::sort(found.begin(), found.end(), [&](const std::string& a, const std::string& b) {
        return (a == prefix + "sw") < (b == prefix + "sw");
    });
    for (const std::string& ns : found) {
        RunCommand({"ip", "netns", "delete", ns}, kCommandTimeout);
        std::filesystem::remove_all(ConfigDirectory(ns), error);
    }
}

std::string Lab::AddNamespace(const std::string& role) {
    const std::string ns = m_name + "-" + role;
    Ip({"netns", "add", ns});
    m_namespaces.push_back(ns);
    Ip({"-n", ns, "link", "set", "lo", "up"});
    return ns;
}

void Lab::AddSecondNetwork() {
    Ip({"-n", m_switch, "link", "add", kBridges[1], "type", "bridge"});
    Ip({"-n", m_switch, "link", "set", kBridges[1], "up"});
    Connect(m_tool, kSecondToolAddress, 24, 1, kSecondInterface);
}

void Lab::Connect(const std::string& ns, const std::string& address, int prefixLength, int network,
                  const std::string& interface) {
    // Appended rather than "p" + ...: GCC 12 at -O3 takes the latter for an overlapping copy.
    const std::string port = std::string("p").append(std::to_string(++m_ports));
    // Made in the switch with its peer placed straight into the host: no interface ever
    // appears in the namespace the tests were started in.
    Ip({"-n", m_switch, "link", "add", port, "type", "veth", "peer", "name", interface, "netns",
        ns});
    Ip({"-n", m_switch, "link", "set", port, "master", kBridges[network], "up"});
    Ip({"-n", ns, "addr", "add", address + "/" + std::to_string(prefixLength), "brd", "+", "dev",
        interface});
    Ip({"-n", ns, "link", "set", interface, "up"});
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

void Lab::SetLinkDown(const std::string& ns, const std::string& interface) {
    Ip({"-n", ns, "link", "set", interface, "down"});
}

void Lab::SetLinkUp(const std::string& ns, const std::string& interface) {
    Ip({"-n", ns, "link", "set", interface, "up"});
}

std::vector<std::string> NamespaceCommand(const std::string& ns,
                                          const std::vector<std::string>& argv) {
    std::vector<std::string> command{"ip", "netns", "exec", ns};
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

}  // namespace lab
