#include "net/Interfaces.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "net/SystemSockets.h"

#ifdef _WIN32
#include <iphlpapi.h>
#else
#include <ifaddrs.h>
#include <net/if.h>

#include <fstream>
#endif

namespace net {
namespace {

Ipv4 FromSockaddr(const sockaddr* address) {
    Ipv4 bytes;
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    std::memcpy(bytes.data(), &in->sin_addr, bytes.size());
    return bytes;
}

const char* ReasonText(DefaultReason reason) {
    return reason == DefaultReason::HostName ? "host-name" : "first-broadcast-capable";
}

bool Usable(const Interface& each) {
    return each.up && each.address.has_value();
}

std::string Candidates(const std::vector<Interface>& interfaces) {
    std::string text;
    for (const Interface& each : interfaces) {
        if (!Usable(each)) continue;
        text += (text.empty() ? "" : ", ") + each.name + " " + FormatAddress(*each.address);
    }
    return text.empty() ? "no interface is up with IPv4" : "up with IPv4: " + text;
}

}  // namespace

#ifdef _WIN32
// Windows names adapters by their friendly name ("Wi-Fi", "Ethernet 2"); every adapter but
// loopback can broadcast.
std::vector<Interface> ListInterfaces() {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::string storage;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        storage.assign(size, '\0');
        result =
            GetAdaptersAddresses(AF_INET, flags, nullptr,
                                 reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data()), &size);
    }
    std::vector<Interface> interfaces;
    if (result != NO_ERROR) return interfaces;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data());
         adapter != nullptr; adapter = adapter->Next) {
        Interface base;
        base.name = NarrowText(adapter->FriendlyName);
        base.description = NarrowText(adapter->Description);
        base.index = adapter->IfIndex;
        base.up = adapter->OperStatus == IfOperStatusUp;
        base.loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        base.canBroadcast = !base.loopback;
        bool any = false;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            if (unicast->Address.lpSockaddr->sa_family != AF_INET) continue;
            Interface entry = base;
            entry.address = FromSockaddr(unicast->Address.lpSockaddr);
            entry.prefixLength = unicast->OnLinkPrefixLength;
            interfaces.push_back(entry);
            any = true;
        }
        if (!any) interfaces.push_back(base);
    }
    return interfaces;
}
#else
namespace {

std::string AliasOf(const std::string& name) {
    std::ifstream file("/sys/class/net/" + name + "/ifalias");
    std::string alias;
    std::getline(file, alias);
    return alias;
}

}  // namespace

std::vector<Interface> ListInterfaces() {
    std::vector<Interface> interfaces;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return interfaces;
    std::vector<Interface> withoutAddress;
    for (const ifaddrs* each = list; each != nullptr; each = each->ifa_next) {
        Interface entry;
        entry.name = each->ifa_name;
        entry.description = AliasOf(entry.name);
        entry.index = if_nametoindex(each->ifa_name);
        entry.up = (each->ifa_flags & IFF_UP) != 0;
        entry.loopback = (each->ifa_flags & IFF_LOOPBACK) != 0;
        entry.canBroadcast = (each->ifa_flags & IFF_BROADCAST) != 0;
        if (each->ifa_addr != nullptr && each->ifa_addr->sa_family == AF_INET) {
            entry.address = FromSockaddr(each->ifa_addr);
            if (each->ifa_netmask != nullptr) {
                for (const std::uint8_t byte : FromSockaddr(each->ifa_netmask)) {
                    entry.prefixLength += std::popcount(byte);
                }
            }
            interfaces.push_back(entry);
        } else if (std::none_of(withoutAddress.begin(), withoutAddress.end(),
                                [&](const Interface& seen) { return seen.name == entry.name; })) {
            withoutAddress.push_back(entry);
        }
    }
    freeifaddrs(list);
    for (const Interface& entry : withoutAddress) {
        const bool hasAddress =
            std::any_of(interfaces.begin(), interfaces.end(),
                        [&](const Interface& each) { return each.name == entry.name; });
        if (!hasAddress) interfaces.push_back(entry);
    }
    return interfaces;
}
#endif

std::optional<DefaultChoice> ChooseDefault(const std::optional<Ipv4>& hostName,
                                           const std::vector<Interface>& interfaces) {
    if (hostName && !IsLoopback(*hostName))
        return DefaultChoice{*hostName, DefaultReason::HostName};
    for (const Interface& each : interfaces) {
        if (Usable(each) && !each.loopback && each.canBroadcast) {
            return DefaultChoice{*each.address, DefaultReason::FirstBroadcastCapable};
        }
    }
    if (hostName) return DefaultChoice{*hostName, DefaultReason::HostName};
    return std::nullopt;
}

InterfaceChoice ChooseInterface(const std::string& nameOrAddress,
                                const std::vector<Interface>& interfaces) {
    InterfaceChoice choice;
    if (const std::optional<Ipv4> address = ParseAddress(nameOrAddress)) {
        const auto found =
            std::find_if(interfaces.begin(), interfaces.end(),
                         [&](const Interface& each) { return each.address == address && each.up; });
        if (found != interfaces.end()) {
            choice.chosen = *found;
            return choice;
        }
        const auto down =
            std::find_if(interfaces.begin(), interfaces.end(),
                         [&](const Interface& each) { return each.address == address; });
        choice.error = down != interfaces.end()
                           ? nameOrAddress + " is on interface '" + down->name + "', which is down"
                           : nameOrAddress + " is not an IPv4 address of this host";
    } else {
        bool known = false;
        bool up = false;
        for (const Interface& each : interfaces) {
            if (each.name != nameOrAddress) continue;
            if (Usable(each)) {
                choice.chosen = each;
                return choice;
            }
            known = true;
            up = up || each.up;
        }
        choice.error = !known ? "no interface named '" + nameOrAddress + "'"
                       : up   ? "interface '" + nameOrAddress + "' has no IPv4 address"
                              : "interface '" + nameOrAddress + "' is down";
    }
    choice.error += "; " + Candidates(interfaces);
    return choice;
}

std::function<std::optional<Ipv4>()> InterfaceLookup(const std::string& nameOrAddress) {
    return [nameOrAddress]() -> std::optional<Ipv4> {
        const InterfaceChoice choice = ChooseInterface(nameOrAddress, ListInterfaces());
        if (!choice.chosen) return std::nullopt;
        return choice.chosen->address;
    };
}

std::string InterfaceListText(const std::vector<Interface>& interfaces,
                              const std::optional<Ipv4>& hostName) {
    const std::optional<DefaultChoice> chosen = ChooseDefault(hostName, interfaces);
    bool marked = false;
    std::string text;
    auto mark = [&](const Ipv4& address) {
        if (!chosen || marked || chosen->address != address) return;
        text += std::string(" default=") + ReasonText(chosen->reason);
        marked = true;
    };
    for (const Interface& each : interfaces) {
        if (!Usable(each)) continue;
        text += each.name + " address=" + FormatAddress(*each.address) + "/" +
                std::to_string(each.prefixLength) + " sends-to=" + ClassCBroadcast(*each.address) +
                " can-broadcast=" + (each.canBroadcast ? "yes" : "no");
        mark(*each.address);
        text += '\n';
    }
    if (chosen && !marked) {
        text += "- address=" + FormatAddress(chosen->address) +
                " sends-to=" + ClassCBroadcast(chosen->address);
        mark(chosen->address);
        text += '\n';
    }
    return text;
}

std::string HostInterfaceListText() {
    return InterfaceListText(ListInterfaces(), ResolveHostName());
}

}  // namespace net
