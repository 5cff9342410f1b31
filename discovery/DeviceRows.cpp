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

std::string OptionsRow(std::uint8_t options) {
    std::string row = "Options: ";
    if (options & protocol::kOptionConfigured) row += "Node is configured, ";
    if (options & protocol::kOptionDhcp) row += "Enable DHCP, ";
    if (options & protocol::kOptionErrorCorrection) row += "Enable Error Correction";
    return row;
}

}  // namespace

const RowTexts& RowLabels() {
    static const RowTexts labels{
        "IP Address:",      "MAC Address:",       "Node Type:",       "Version:",
        "Switch Settings:", "Options:",           "Type of Service:", "Packet TTL:",
        "Listen to:",       "Listen IP Address:", "DMX Universe:"};
    return labels;
}

RowTexts FormatRows(const protocol::PollReplyMessage& reply, const std::string& senderAddress) {
    const auto& mac = reply.mac;
    const auto& listen = reply.listenAddress;
    const int universe = reply.universe;
    return RowTexts{
        "IP Address: " + senderAddress,
        Format("MAC Address: %.2X %.2X %.2X %.2X %.2X %.2X", mac[0], mac[1], mac[2], mac[3], mac[4],
               mac[5]),
        Format("Node Type: %.2X%.2X", reply.nodeType[0], reply.nodeType[1]),
        Format("Version: %.2X", reply.version),
        Format("Switch Settings: %.2X", reply.switches),
        OptionsRow(reply.options),
        Format("Type of Service: %.2X", reply.typeOfService),
        Format("Packet TTL: %.2X", reply.ttl),
        std::string("Listen to: ") + (reply.listenTo == 0 ? "Broadcast" : "Class C Broadcast"),
        Format("Listen IP Address: %d.%d.%d.%d", listen[0], listen[1], listen[2], listen[3]),
        Format("DMX Universe: %d (%d-%d)", universe + 1, universe * 512 + 1, (universe + 1) * 512),
    };
}

}  // namespace discovery
