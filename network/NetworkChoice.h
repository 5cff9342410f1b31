// Which network the window uses, and why: the command line's interface, the one the user chose
// and kept, or today's default. Followed as interfaces come, go and change their addresses, so
// that a pulled adapter or a new lease needs no restart. No Qt, no sockets: plain facts in.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/InterfaceChanges.h"
#include "net/Interfaces.h"

namespace network {

enum class Reason { HostName, FirstBroadcastCapable, CommandLine, UserChoice };

struct Request {
    std::optional<std::string> commandLine;  // --interface NAME|A.B.C.D; always wins
    std::optional<std::string> kept;         // the user's choice from an earlier run
};

struct InUse {
    Reason reason = Reason::HostName;
    // What the command line or the user named; empty for the default.
    std::string wanted;
    // The interface the endpoint is tied to while it is there. Absent for the default, which
    // ties nothing, and while a tied interface is gone.
    std::optional<net::Interface> tiedTo;
    // Sent from; absent while a tied interface is gone or has no address.
    std::optional<net::Ipv4> address;
    // Why what was wanted is not in use or cannot be reached now; empty when all is well.
    std::string problem;

    bool Tied() const { return reason == Reason::CommandLine || reason == Reason::UserChoice; }
};

// The rules, as one function. current is what is in use now, or nothing at start-up: a kept
// interface absent at start-up falls back to the default, but one that goes away while in use
// stays in use, its sends failing, so that nothing leaks onto another network.
InUse Resolve(const Request& request, const std::vector<net::Interface>& interfaces,
              const std::optional<net::Ipv4>& hostName, const InUse* current);

// Whether the endpoint must be tied again (another interface, or the same one plugged back in
// under a new index) or send elsewhere.
bool NeedsNewTie(const InUse& before, const InUse& after);
bool SendsElsewhere(const InUse& before, const InUse& after);

// "chosen by you", "given on the command line: --interface eth1", "the host name's address",
// "the first interface that can broadcast".
std::string ReasonText(const InUse& inUse);

// What the outside world decides, injected so that tests choose the interfaces.
struct Seams {
    std::function<std::vector<net::Interface>()> listInterfaces = net::ListInterfaces;
    std::function<std::optional<net::Ipv4>()> resolveHostName = net::ResolveHostName;
    // Whether the interfaces may have changed since last asked; unset, the system's own notice
    // (net::InterfaceChanges) tells.
    std::function<bool()> changed;
};

// Looks again at most once per period, on the caller's tick, and lists the interfaces only when
// the system says they changed, so that following the network wakes nothing up of its own and
// costs an idle program next to nothing.
class Follower {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kLookPeriod{1000};

    Follower(Request request, Seams seams = {});

    const InUse& Current() const { return m_current; }
    const Request& Requested() const { return m_request; }
    // The interfaces as last looked at.
    const std::vector<net::Interface>& Interfaces() const { return m_interfaces; }

    // Whether Look would look at all; cheap enough for every tick.
    bool DueToLook(Clock::time_point now) const { return now - m_lastLook >= kLookPeriod; }
    // Something new to use when the interfaces changed since the last look and that changes
    // what is in use; nothing otherwise.
    std::optional<InUse> Look(Clock::time_point now);
    // The user's choice (an interface name), or nothing for the default; looked up at once.
    InUse Choose(const std::optional<std::string>& interfaceName);

private:
    InUse ResolveNow(bool startingUp);

    Request m_request;
    Seams m_seams;
    std::unique_ptr<net::InterfaceChanges> m_changes;
    std::vector<net::Interface> m_interfaces;
    InUse m_current;
    Clock::time_point m_lastLook;
};

}  // namespace network
