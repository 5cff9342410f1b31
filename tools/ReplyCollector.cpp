#include "tools/ReplyCollector.h"

#include <algorithm>

namespace clitool {
namespace {

using protocol::DatagramKind;

constexpr std::array<const char*, protocol::kDatagramKinds> kIgnoredNames{
    "empty",       "short",      "oversized",  "poll",        "dmx",
    "short-reply", "unexpected", "never-seen", "unknown-code"};

}  // namespace

void PollCollector::Take(std::span<const std::uint8_t> datagram, const std::string& senderAddress,
                         std::uint16_t senderPort, long long milliseconds) {
    const DatagramKind kind = protocol::ClassifyDatagram(datagram);
    if (kind == DatagramKind::Poll && senderPort == m_ownPort &&
        std::equal(datagram.begin(), datagram.end(), protocol::kPollMessage.begin(),
                   protocol::kPollMessage.end()) &&
        std::find(m_ownAddresses.begin(), m_ownAddresses.end(), senderAddress) !=
            m_ownAddresses.end()) {
        m_ownPollCameBack = true;
    }
    if (kind != DatagramKind::PollReply) {
        Count(kind);
        return;
    }
    const auto reply = protocol::ReadPollReply(datagram);
    if (!reply) {
        Count(DatagramKind::PollReply);
        return;
    }
    const discovery::DeviceRows rows = discovery::FormatRows(*reply, senderAddress);
    NodeRecord record{reply->name, {}, senderPort, milliseconds};
    for (std::size_t i = 0; i < rows.size(); ++i) record.values[i] = rows[i].value;
    const auto found = std::find_if(m_nodes.begin(), m_nodes.end(), [&](const NodeRecord& each) {
        return each.name == reply->name;
    });
    if (found == m_nodes.end()) {
        m_nodes.push_back(std::move(record));
    } else {
        *found = std::move(record);
    }
}

std::string IgnoredText(const KindCounts& counts) {
    int total = 0;
    std::string kinds;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] == 0) continue;
        total += counts[i];
        kinds.append(" ").append(kIgnoredNames[i]).append("=").append(std::to_string(counts[i]));
    }
    if (total == 0) return {};
    std::string text = "ignored ";
    text.append(std::to_string(total)).append(total == 1 ? " datagram:" : " datagrams:");
    return text.append(kinds);
}

}  // namespace clitool
