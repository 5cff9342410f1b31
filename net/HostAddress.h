// Where the class C broadcast goes: worked out from this host's own IPv4 address.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace net {

using Ipv4 = std::array<std::uint8_t, 4>;

std::string FormatAddress(const Ipv4& address);
std::optional<Ipv4> ParseAddress(const std::string& text);
bool IsLoopback(const Ipv4& address);

// a.b.c.255, whatever the real netmask.
std::string ClassCBroadcast(const Ipv4& host);

// The first IPv4 address that the host name resolves to.
std::optional<Ipv4> ResolveHostName();

// The host name's address, unless that is loopback or does not resolve: then the first
// broadcast-capable interface, which is what a node on the LAN can hear. Falls back to the
// loopback address when there is no such interface.
std::optional<Ipv4> LookupHostAddress();

}  // namespace net
