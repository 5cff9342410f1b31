#include "tools/NoAnswerDiagnosis.h"

#include <cstddef>

#include "protocol/NodeProtocol.h"

namespace clitool {
namespace {

using protocol::DatagramKind;

std::string Counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Whether a.b.c.255 is the broadcast address of address/prefixLength; an unknown prefix is
// taken to be /24.
bool IsSubnetBroadcast(const net::Ipv4& address, int prefixLength) {
    if (prefixLength <= 0) return true;
    std::uint32_t host = 0;
    for (const std::uint8_t byte : address) host = host << 8 | byte;
    const std::uint32_t hostBits = prefixLength >= 32 ? 0 : 0xFFFFFFFFu >> prefixLength;
    return (host | hostBits) == (host | 0xFFu);
}

}  // namespace

std::string PollSentFrom(const NoAnswer& facts) {
    std::string from = net::FormatAddress(facts.address);
    // Appended piece by piece here and below: GCC 12 at -O3 warns falsely about "literal" +
    // std::string.
    if (facts.prefixLength > 0) from.append("/").append(std::to_string(facts.prefixLength));
    return facts.interfaceName.empty() ? "from " + from
                                       : "on " + facts.interfaceName + " (" + from + ")";
}

namespace {

std::string CameBack(const NoAnswer& facts) {
    if (facts.ownPollCameBack) return "yes, so the broadcast went out";
    if (!IsSubnetBroadcast(facts.address, facts.prefixLength)) {
        return "no; " + facts.destination + " is not a broadcast address " + PollSentFrom(facts);
    }
    return "no; a firewall on this host may be dropping UDP port " + std::to_string(facts.port);
}

std::string Owners(const net::PortOwners& owners) {
    if (!owners.known) return "unknown, the system does not tell";
    if (owners.others.empty() && owners.hidden == 0) return "none";
    std::string names;
    for (const net::PortOwner& each : owners.others) {
        if (!names.empty()) names += ", ";
        if (!each.name.empty()) names.append(each.name).append(" ");
        names.append("(pid ").append(std::to_string(each.pid)).append(")");
    }
    if (owners.hidden > 0) {
        if (!names.empty()) names += ", and ";
        names += Counted(owners.hidden, "socket", "sockets") +
                 " whose program is not shown to this user";
    }
    return names;
}

std::string Heard(const NoAnswer& facts) {
    const auto heard = [&facts](DatagramKind kind) {
        return facts.heard[static_cast<std::size_t>(kind)];
    };
    int total = 0;
    for (const int count : facts.heard) total += count;
    const struct {
        int count;
        const char* one;
        const char* many;
    } kinds[]{
        {heard(DatagramKind::DmxData), "DMX data message", "DMX data messages"},
        {heard(DatagramKind::Poll) - (facts.ownPollCameBack ? 1 : 0), "other poll", "other polls"},
        {total - heard(DatagramKind::DmxData) - heard(DatagramKind::Poll), "other datagram",
         "other datagrams"},
    };
    std::string also;
    for (const auto& kind : kinds) {
        if (kind.count <= 0) continue;
        also += (also.empty() ? "" : ", ") + Counted(kind.count, kind.one, kind.many);
    }
    return also.empty() ? "nothing" : also;
}

}  // namespace

std::vector<Finding> Findings(const NoAnswer& facts) {
    const std::string port = std::to_string(facts.port);
    return {
        {"its own poll came back", CameBack(facts)},
        {"other programs on UDP port " + port + " on this host", Owners(facts.owners)},
        {"also heard", Heard(facts)},
        {"usual causes", "a firewall blocking UDP port " + port + ", the wrong adapter (" +
                             facts.interfacesHint + ") or another program on the port"},
    };
}

std::vector<std::string> NoAnswerLines(const NoAnswer& facts) {
    std::vector<std::string> lines{"no node answered the poll sent " + PollSentFrom(facts) +
                                   " to " + facts.destination + ":" + std::to_string(facts.port)};
    for (const Finding& each : Findings(facts)) lines.push_back(each.Line());
    return lines;
}

}  // namespace clitool
