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

std::vector<std::string> NoAnswerLines(const NoAnswer& facts) {
    const std::string port = std::to_string(facts.port);
    std::string from = net::FormatAddress(facts.address);
    // Appended piece by piece here and below: GCC 12 at -O3 warns falsely about "literal" +
    // std::string.
    if (facts.prefixLength > 0) from.append("/").append(std::to_string(facts.prefixLength));
    const std::string where = facts.interfaceName.empty()
                                  ? "from " + from
                                  : "on " + facts.interfaceName + " (" + from + ")";
    std::vector<std::string> lines{"no node answered the poll sent " + where + " to " +
                                   facts.destination + ":" + port};

    std::string cameBack = "its own poll came back: ";
    if (facts.ownPollCameBack) {
        cameBack += "yes, so the broadcast went out";
    } else if (!IsSubnetBroadcast(facts.address, facts.prefixLength)) {
        cameBack += "no; " + facts.destination + " is not a broadcast address " + where;
    } else {
        cameBack += "no; a firewall on this host may be dropping UDP port " + port;
    }
    lines.push_back(cameBack);

    std::string owners = "other programs on UDP port " + port + " on this host: ";
    if (!facts.owners.known) {
        owners += "unknown, the system does not tell";
    } else if (facts.owners.others.empty() && facts.owners.hidden == 0) {
        owners += "none";
    } else {
        std::string names;
        for (const net::PortOwner& each : facts.owners.others) {
            if (!names.empty()) names += ", ";
            if (!each.name.empty()) names.append(each.name).append(" ");
            names.append("(pid ").append(std::to_string(each.pid)).append(")");
        }
        if (facts.owners.hidden > 0) {
            if (!names.empty()) names += ", and ";
            names += Counted(facts.owners.hidden, "socket", "sockets") +
                     " whose program is not shown to this user";
        }
        owners += names;
    }
    lines.push_back(owners);

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
        if (kind.count == 0) continue;
        also += (also.empty() ? "" : ", ") + Counted(kind.count, kind.one, kind.many);
    }
    lines.push_back(std::string("also heard: ").append(also.empty() ? "nothing" : also));

    lines.push_back("usual causes: a firewall blocking UDP port " + port +
                    ", the wrong adapter (see --list-interfaces) or another program on the port");
    return lines;
}

}  // namespace clitool
