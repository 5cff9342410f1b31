// What praveltest-cli makes of the datagrams a poll brings back, and the lines it prints.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "discovery/DeviceRows.h"
#include "net/HostAddress.h"
#include "net/PortOwners.h"
#include "protocol/NodeProtocol.h"
#include "tools/CliArguments.h"

namespace clitool {

// How many of each kind of datagram were not taken as a poll reply, indexed by kind; a PollReply
// counted here was too short to hold one.
using KindCounts = std::array<int, protocol::kDatagramKinds>;

struct NodeRecord {
    std::string name;
    discovery::RowTexts values;  // the tree's row texts without their labels
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

// What a poll that no node answered shows about why.
struct NoAnswer {
    std::string interfaceName;  // empty when no interface holds the address sent from
    net::Ipv4 address{};        // sent from
    int prefixLength = 0;       // 0 when unknown
    std::string destination;    // a.b.c.255
    std::uint16_t port = 0;
    bool ownPollCameBack = false;
    KindCounts heard{};  // as IgnoredCounts(), the own poll among them
    net::PortOwners owners;
};
// Five lines for standard error: where the poll went, whether it came back, who else holds the
// port, what else was heard, and the usual causes.
std::vector<std::string> NoAnswerLines(const NoAnswer& facts);

std::string FormatNodes(const std::vector<NodeRecord>& nodes, PollFormat format);
// "ignored N datagrams: kind=count ...", naming only kinds that occurred; empty when none did.
std::string IgnoredText(const KindCounts& counts);

// The line level prints; dryRun says "would-send" instead of "sent".
std::string LevelLine(const LevelRequest& request, std::span<const std::uint8_t> datagram,
                      const std::string& destination, std::uint16_t port);
// Upper-case hex pairs separated by spaces, 16 bytes a line.
std::string HexLines(std::span<const std::uint8_t> bytes);

}  // namespace clitool
