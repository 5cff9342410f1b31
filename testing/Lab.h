// A lab of Linux network namespaces joined by a bridge: the program's host at 10.1.2.3 and any
// number of node hosts, so the real program can broadcast without reaching a real network.
// A second bridge can join the program's host to a second network at 10.7.0.3.
// Needs root; every namespace it makes is gone again when the Lab is destroyed, unless it
// was kept for a lab command that outlives it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace lab {

inline constexpr char kToolAddress[] = "10.1.2.3";
// The name of the lab interface in every host namespace, and the tool host's on the second
// network.
inline constexpr char kHostInterface[] = "eth0";
inline constexpr char kSecondInterface[] = "eth1";
// Where Debian's /etc/hosts puts the host's own name.
inline constexpr char kDebianHostNameAddress[] = "127.0.1.1";

// True when labs can be built here: running as root, and a namespace can be added and
// deleted. Otherwise false, with the reason in *why.
bool Available(std::string* why);
// In CI (CI=true) the lab always runs, so a lab that cannot be built is a failure there.
bool Required();

class Lab {
public:
    // The switch namespace with its bridge, and the tool namespace at 10.1.2.3/prefixLength,
    // where the host name praveltest-lab resolves to hostNameAddress.
    // Throws std::runtime_error, with the failing command and its error output, when any
    // step fails; whatever was made by then is removed.
    // name prefixes every namespace (name-sw, name-tool, name-h1, ...); empty makes one that
    // holds this process's id, so that a lab left by a killed run is found and removed.
    explicit Lab(int prefixLength = 24, const std::string& hostNameAddress = kToolAddress,
                 const std::string& name = {});
    // Virtual: a TwoNetworkLab held as a Lab ends its nodes before its namespaces go.
    virtual ~Lab() { Cleanup(); }
    Lab(const Lab&) = delete;
    Lab& operator=(const Lab&) = delete;

    const std::string& ToolNamespace() const { return m_tool; }
    const std::string& SwitchNamespace() const { return m_switch; }
    int PrefixLength() const { return m_prefixLength; }
    // Every namespace made so far, the switch first.
    const std::vector<std::string>& Namespaces() const { return m_namespaces; }

    // A second bridge in the switch namespace, and the tool host on it at 10.7.0.3/24 on its
    // kSecondInterface.
    void AddSecondNetwork();

    // A new host namespace with address/prefix on its kHostInterface, wired to the bridge of
    // network 0 (the first) or 1 (the second); prefixLength -1 takes the lab's. Returns the
    // namespace's name.
    std::string AddHost(const std::string& address, int prefixLength = -1, int network = 0);

    // The argv that runs argv in ns, in a UTS namespace of its own whose host name is
    // praveltest-lab; in the tool namespace that name resolves through
    // /etc/netns/<tool>/hosts, which ip netns exec mounts over /etc/hosts.
    static std::vector<std::string> ExecCommand(const std::string& ns,
                                                const std::vector<std::string>& argv);

    // Leaves every namespace in place when the Lab is destroyed; RemoveLab(name) removes them.
    void Keep() { m_namespaces.clear(); }

    // state "up" or "down", for the host's interface; the bridge side stays up.
    void SetLink(const std::string& ns, const char* state,
                 const std::string& interface = kHostInterface);

private:
    std::string AddNamespace(const std::string& role);
    void Connect(const std::string& ns, const std::string& address, int prefixLength,
                 int network = 0, const std::string& interface = kHostInterface);
    void Cleanup() noexcept;

    std::string m_name;
    int m_prefixLength;
    int m_ports = 0;
    std::string m_switch;
    std::string m_tool;
    std::vector<std::string> m_namespaces;
};

// The argv that runs argv in ns, keeping the host name as it is.
std::vector<std::string> NamespaceCommand(const std::string& ns,
                                          const std::vector<std::string>& argv);

// Ends every process inside the namespaces name-*, then deletes them and their host files.
void RemoveLab(const std::string& name);

// Runs `ip args...`; throws std::runtime_error with the command and its error output when it
// fails.
std::string Ip(const std::vector<std::string>& args);

// The calling thread inside /run/netns/<ns> for its lifetime. Sockets made meanwhile stay in
// that namespace after the thread has moved back.
class NamespaceSwitch {
public:
    // Throws std::runtime_error when ns cannot be entered.
    explicit NamespaceSwitch(const std::string& ns);
    // Aborts when the thread cannot move back: carrying on in the wrong namespace would let
    // later sends go where they must not.
    ~NamespaceSwitch();
    NamespaceSwitch(const NamespaceSwitch&) = delete;
    NamespaceSwitch& operator=(const NamespaceSwitch&) = delete;

private:
    int m_original = -1;
};

template <class F>
auto InNamespace(const std::string& ns, F&& fn) {
    NamespaceSwitch inside(ns);
    return std::forward<F>(fn)();
}

}  // namespace lab
