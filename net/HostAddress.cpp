#include "net/HostAddress.h"

#include <cstdio>
#include <cstring>

#include "net/SystemSockets.h"

#ifdef _WIN32
#include <iphlpapi.h>
#else
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#endif

namespace net {
namespace {

constexpr std::size_t kHostNameBufferLength = 256;

Ipv4 FromInAddr(const in_addr& address) {
    Ipv4 bytes;
    static_assert(sizeof(address) == bytes.size());
    std::memcpy(bytes.data(), &address, bytes.size());
    return bytes;
}

}  // namespace

std::string FormatAddress(const Ipv4& address) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
    return text;
}

std::optional<Ipv4> ParseAddress(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
    return FromInAddr(address);
}

bool IsLoopback(const Ipv4& address) {
    return address[0] == 127;
}

std::string ClassCBroadcast(const Ipv4& host) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.255", host[0], host[1], host[2]);
    return text;
}

std::optional<Ipv4> ResolveHostName() {
    char name[kHostNameBufferLength] = {};
    if (gethostname(name, sizeof name - 1) != 0) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
    const auto* first = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const Ipv4 address = FromInAddr(first->sin_addr);
    freeaddrinfo(found);
    return address;
}

#ifdef _WIN32
std::optional<Ipv4> FirstBroadcastInterface() {
    ULONG size = 16 * 1024;
    std::string storage(size, '\0');
    auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data());
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    if (GetAdaptersAddresses(AF_INET, flags, nullptr, adapters, &size) != NO_ERROR) {
        return std::nullopt;
    }
    for (auto* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) {
            continue;
        }
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
            if (in->sin_family == AF_INET) return FromInAddr(in->sin_addr);
        }
    }
    return std::nullopt;
}
#else
std::optional<Ipv4> FirstBroadcastInterface() {
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) return std::nullopt;
    std::optional<Ipv4> found;
    for (const ifaddrs* each = interfaces; each != nullptr && !found; each = each->ifa_next) {
        const unsigned flags = each->ifa_flags;
        if (each->ifa_addr == nullptr || each->ifa_addr->sa_family != AF_INET) continue;
        if (!(flags & IFF_UP) || (flags & IFF_LOOPBACK) || !(flags & IFF_BROADCAST)) continue;
        found = FromInAddr(reinterpret_cast<const sockaddr_in*>(each->ifa_addr)->sin_addr);
    }
    freeifaddrs(interfaces);
    return found;
}
#endif

std::optional<Ipv4> LookupHostAddress() {
    const std::optional<Ipv4> resolved = ResolveHostName();
    if (resolved && !IsLoopback(*resolved)) return resolved;
    if (const std::optional<Ipv4> lan = FirstBroadcastInterface()) return lan;
    return resolved;
}

}  // namespace net
