// What praveltest-cli makes of the datagrams a poll brings back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "discovery/DeviceRows.h"
#include "protocol/NodeProtocol.h"
#include "tools/KindCounts.h"

namespace clitool {

struct NodeRecord {
    std::string name;
    std::array<std::string, discovery::kRowCount> values;  // the tree's rows without labels
    std::uint16_t port = 0;
    long long milliseconds = 0;  // from the poll to this reply
};

// Node records keyed by name, in the order of first answer; the latest reply for a name wins.
class PollCollector {
public:
    PollCollector() = default;
    // A poll from one of ownAddresses and ownPort is the tool's own, come back to it.
    PollCollector(std::vector<std::string> ownAddresses, std::uint16_t ownPort)
        : m_ownAddresses(std::move(ownAddresses)), m_ownPort(ownPort) {}

    void Take(std::span<const std::uint8_t> datagram, const std::string& senderAddress,
              std::uint16_t senderPort, long long milliseconds);

    const std::vector<NodeRecord>& Nodes() const { return m_nodes; }
    // Of each kind, the datagrams not taken as a poll reply; a PollReply counted here was too
    // short to hold one.
    const KindCounts& IgnoredCounts() const { return m_ignored; }
    bool OwnPollCameBack() const { return m_ownPollCameBack; }

private:
    void Count(protocol::DatagramKind kind) { ++m_ignored[static_cast<std::size_t>(kind)]; }

    std::vector<NodeRecord> m_nodes;
    KindCounts m_ignored{};
    std::vector<std::string> m_ownAddresses;
    std::uint16_t m_ownPort = 0;
    bool m_ownPollCameBack = false;
};

// "ignored N datagrams: kind=count ...", naming only kinds that occurred; empty when none did.
std::string IgnoredText(const KindCounts& counts);

}  // namespace clitool
