// Why no node answered a poll, as far as the host can tell: plain facts in, lines out, so that
// any front end can show it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/HostAddress.h"
#include "net/PortOwners.h"
#include "tools/KindCounts.h"

namespace clitool {

// What a poll that no node answered shows about why.
struct NoAnswer {
    std::string interfaceName;  // empty when no interface holds the address sent from
    net::Ipv4 address{};        // sent from
    int prefixLength = 0;       // 0 when unknown
    std::string destination;    // a.b.c.255
    std::uint16_t port = 0;
    bool ownPollCameBack = false;
    KindCounts heard{};  // everything heard that was not a reply, the own poll among them
    net::PortOwners owners;
};
// Five lines: where the poll went, whether it came back, who else holds the port, what else
// was heard, and the usual causes.
std::vector<std::string> NoAnswerLines(const NoAnswer& facts);

}  // namespace clitool
