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
    // Where the user finds the interfaces, for the usual causes.
    std::string interfacesHint = "see --list-interfaces";
};

struct Finding {
    std::string label;  // "its own poll came back", "usual causes", ...
    std::string value;
    std::string Line() const { return label + ": " + value; }
};

// Where the poll was sent from: "on eth1 (10.7.0.3/24)", or "from 10.7.0.3" when no interface
// holds the address.
std::string PollSentFrom(const NoAnswer& facts);
// Whether the poll came back, who else holds the port, what else was heard, and the usual
// causes: the window shows them as they are, the tool as lines.
std::vector<Finding> Findings(const NoAnswer& facts);
// Five lines: where the poll went, then the findings.
std::vector<std::string> NoAnswerLines(const NoAnswer& facts);

}  // namespace clitool
