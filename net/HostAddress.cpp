#include "net/HostAddress.h"

#include <cstdio>
#include <cstring>

#include "net/Interfaces.h"
#include "net/SystemSockets.h"

#ifndef _WIN32
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

std::optional<Ipv4> LookupHostAddress() {
    const std::optional<DefaultChoice> chosen = ChooseDefault(ResolveHostName(), ListInterfaces());
    if (!chosen) return std::nullopt;
    return chosen->address;
}

}  // namespace net
