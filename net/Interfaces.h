// This host's IPv4 interfaces: which one the default picks, which one the user names, and the
// listing that shows both.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/HostAddress.h"

namespace net {

struct Interface {
    std::string name;
    // Absent for an interface that carries no IPv4 address at all.
    std::optional<Ipv4> address;
    int prefixLength = 0;
    bool up = false;
    bool loopback = false;
    bool canBroadcast = false;
    // The system's index of the interface, which ties a socket to it on Windows; 0 if unknown.
    unsigned index = 0;
    // What the system calls the hardware, where it says: the adapter's description on Windows
    // ("Realtek USB GbE Family Controller"), the alias an administrator gave it on Linux.
    std::string description;

    bool operator==(const Interface&) const = default;
};

// One entry per IPv4 address (an interface with two appears twice), plus one without an
// address for each interface that has none; in the system's order. Empty when the system
// cannot say.
std::vector<Interface> ListInterfaces();

enum class DefaultReason { HostName, FirstBroadcastCapable };

struct DefaultChoice {
    Ipv4 address;
    DefaultReason reason;
};

// The host name's address unless it is loopback or missing; then the first interface that is
// up, not loopback and can broadcast; failing that the host name's loopback address.
std::optional<DefaultChoice> ChooseDefault(const std::optional<Ipv4>& hostName,
                                           const std::vector<Interface>& interfaces);

// What --interface NAME|A.B.C.D names: an interface that is up with an IPv4 address, or a
// one-line reason why not that names the candidates.
struct InterfaceChoice {
    std::optional<Interface> chosen;
    std::string error;
};
InterfaceChoice ChooseInterface(const std::string& nameOrAddress,
                                const std::vector<Interface>& interfaces);

// The lookup for a chosen interface: its address as it is when the lookup runs, so that an
// interface renumbered since start-up is followed; nothing when it is gone.
std::function<std::optional<Ipv4>()> InterfaceLookup(const std::string& nameOrAddress);

// One line per IPv4 address of an interface that is up:
//   NAME address=A.B.C.D/PREFIX sends-to=A.B.C.255 can-broadcast=yes|no[ default=REASON]
// REASON is host-name or first-broadcast-capable. When the default's address is on none of
// them, a last line "- address=A.B.C.D sends-to=A.B.C.255 default=host-name" shows it.
std::string InterfaceListText(const std::vector<Interface>& interfaces,
                              const std::optional<Ipv4>& hostName);
// The listing for this host as it is now; the socket layer must be started.
std::string HostInterfaceListText();

}  // namespace net
