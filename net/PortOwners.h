// Which other processes on this host hold a UDP port. Sockets that share a port by address
// reuse split its unicast traffic: the system hands each reply to one of them, so another
// program on the node port can take the replies meant for this one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace net {

struct PortOwner {
    std::uint32_t pid = 0;
    std::string name;  // empty when the system does not give it
};

struct PortOwners {
    bool known = false;             // false when the system's table of sockets could not be read
    std::vector<PortOwner> others;  // by process id, this process left out
    int hidden = 0;  // sockets on the port whose process the system does not show this user
};

// IPv4 and IPv6 sockets bound to the port on any address, in this host's (on Linux, this
// network namespace's) table.
PortOwners FindUdpPortOwners(std::uint16_t port);

// The inodes of the sockets on port in the text of /proc/net/udp or /proc/net/udp6.
std::vector<std::uint64_t> SocketInodesOnPort(const std::string& table, std::uint16_t port);

}  // namespace net
