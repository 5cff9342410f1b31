#include "network/NetworkChoice.h"

namespace network {
namespace {

InUse Default(const std::vector<net::Interface>& interfaces,
              const std::optional<net::Ipv4>& hostName) {
    InUse inUse;
    if (const std::optional<net::DefaultChoice> chosen = net::ChooseDefault(hostName, interfaces)) {
        inUse.address = chosen->address;
        inUse.reason = chosen->reason == net::DefaultReason::HostName
                           ? Reason::HostName
                           : Reason::FirstBroadcastCapable;
    }
    return inUse;
}

InUse Tied(Reason reason, const std::string& wanted, const std::vector<net::Interface>& interfaces,
           const InUse* current) {
    InUse inUse;
    inUse.reason = reason;
    inUse.wanted = wanted;
    const net::InterfaceChoice choice = net::ChooseInterface(wanted, interfaces);
    if (choice.chosen) {
        inUse.tiedTo = choice.chosen;
        inUse.address = choice.chosen->address;
        return inUse;
    }
    // Gone: the tie stays on what it was, so the kernel fails the sends rather than route them
    // onto another network.
    if (current && current->Tied() && current->wanted == wanted) inUse.tiedTo = current->tiedTo;
    if (inUse.tiedTo) inUse.tiedTo->address.reset();
    inUse.problem = choice.error;
    return inUse;
}

}  // namespace

InUse Resolve(const Request& request, const std::vector<net::Interface>& interfaces,
              const std::optional<net::Ipv4>& hostName, const InUse* current) {
    if (request.commandLine) {
        return Tied(Reason::CommandLine, *request.commandLine, interfaces, current);
    }
    if (request.kept) {
        const bool wasInUse = current && current->reason == Reason::UserChoice;
        InUse kept = Tied(Reason::UserChoice, *request.kept, interfaces, current);
        if (kept.address || wasInUse) return kept;
        InUse fallback = Default(interfaces, hostName);
        fallback.problem = "the interface you chose, '" + *request.kept + "', is not usable now (" +
                           kept.problem + "), so the default is in use until it is back";
        return fallback;
    }
    return Default(interfaces, hostName);
}

bool NeedsNewTie(const InUse& before, const InUse& after) {
    const auto tie = [](const InUse& inUse) {
        return inUse.tiedTo ? std::make_pair(inUse.tiedTo->name, inUse.tiedTo->index)
                            : std::make_pair(std::string(), 0u);
    };
    return tie(before) != tie(after);
}

bool SendsElsewhere(const InUse& before, const InUse& after) {
    return before.address != after.address || NeedsNewTie(before, after);
}

std::string ReasonText(const InUse& inUse) {
    switch (inUse.reason) {
        case Reason::HostName:
            return "the host name's address";
        case Reason::FirstBroadcastCapable:
            return "the first interface that can broadcast";
        case Reason::CommandLine:
            return "given on the command line: --interface " + inUse.wanted;
        case Reason::UserChoice:
            break;
    }
    return "chosen by you";
}

Follower::Follower(Request request, Seams seams)
    : m_request(std::move(request)), m_seams(std::move(seams)) {
    // Listening before the first listing, so that no change falls between the two.
    if (!m_seams.changed) {
        m_changes = std::make_unique<net::InterfaceChanges>();
        m_seams.changed = [changes = m_changes.get()] { return changes->Pending(); };
    }
    m_interfaces = m_seams.listInterfaces();
    m_current = ResolveNow(true);
    m_lastLook = Clock::now();
}

InUse Follower::ResolveNow(bool startingUp) {
    // The host name only matters to the default; it may be slow to resolve on a bad network.
    const bool needsHostName = !m_request.commandLine;
    const std::optional<net::Ipv4> hostName =
        needsHostName ? m_seams.resolveHostName() : std::nullopt;
    return Resolve(m_request, m_interfaces, hostName, startingUp ? nullptr : &m_current);
}

std::optional<InUse> Follower::Look(Clock::time_point now) {
    if (!DueToLook(now)) return std::nullopt;
    m_lastLook = now;
    if (!m_seams.changed()) return std::nullopt;
    std::vector<net::Interface> interfaces = m_seams.listInterfaces();
    if (interfaces == m_interfaces) return std::nullopt;
    m_interfaces = std::move(interfaces);
    InUse next = ResolveNow(false);
    const bool changed = SendsElsewhere(m_current, next) || next.problem != m_current.problem ||
                         next.reason != m_current.reason;
    m_current = std::move(next);
    if (!changed) return std::nullopt;
    return m_current;
}

InUse Follower::Choose(const std::optional<std::string>& interfaceName) {
    m_request.kept = interfaceName;
    m_interfaces = m_seams.listInterfaces();
    m_current = ResolveNow(true);
    return m_current;
}

}  // namespace network
