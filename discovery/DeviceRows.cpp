#include "discovery/DeviceRows.h"

#include <cstdio>

namespace discovery {
namespace {

template <class... Args>
std::string Format(const char* format, Args... args) {
    char text[80];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

std::string OptionsValue(std::uint8_t options) {
    std::string value;
    if (options & protocol::kOptionConfigured) value += "Node is configured, ";
    if (options & protocol::kOptionDhcp) value += "Enable DHCP, ";
    if (options & protocol::kOptionErrorCorrection) value += "Enable Error Correction";
    return value;
}

}  // namespace

const std::array<std::string, kRowCount>& RowLabels() {
    static const std::array<std::string, kRowCount> labels{
        "IP Address",      "MAC Address",       "Node Type",       "Version",
        "Switch Settings", "Options",           "Type of Service", "Packet TTL",
        "Listen to",       "Listen IP Address", "DMX Universe"};
    return labels;
}

std::string PlaceholderText(const std::string& label) {
    return label + ":";
}

DeviceRows FormatRows(const protocol::PollReplyMessage& reply, const std::string& senderAddress) {
    const auto& mac = reply.mac;
    const auto& listen = reply.listenAddress;
    const int universe = reply.universe;
    const std::array<std::string, kRowCount> values{
        senderAddress,
        Format("%.2X %.2X %.2X %.2X %.2X %.2X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]),
        Format("%.2X%.2X", reply.nodeType[0], reply.nodeType[1]),
        Format("%.2X", reply.version),
        Format("%.2X", reply.switches),
        OptionsValue(reply.options),
        Format("%.2X", reply.typeOfService),
        Format("%.2X", reply.ttl),
        reply.listenTo == 0 ? "Broadcast" : "Class C Broadcast",
        Format("%d.%d.%d.%d", listen[0], listen[1], listen[2], listen[3]),
        Format("%d (%d-%d)", universe + 1, universe * 512 + 1, (universe + 1) * 512),
    };
    DeviceRows rows;
    for (std::size_t i = 0; i < kRowCount; ++i) rows[i] = {RowLabels()[i], values[i]};
    return rows;
}

}  // namespace discovery
