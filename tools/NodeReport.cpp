#include "tools/NodeReport.h"

#include <algorithm>

namespace simnode {
namespace {

std::string From(const std::string& address, std::uint16_t port) {
    return "from=" + address + ":" + std::to_string(port);
}

}  // namespace

std::string ReadyLine(const NodeOptions& options) {
    return "ready bind=" + options.bindAddress + " port=" + std::to_string(options.port) +
           " nodes=" + std::to_string(options.count);
}

std::string PollLine(const std::string& sender, std::uint16_t port, std::size_t replies) {
    return "poll " + From(sender, port) + " replies=" + std::to_string(replies);
}

std::string DmxLine(const protocol::DmxDataView& data, const std::string& sender,
                    std::uint16_t port) {
    std::string levels = "none";
    if (!data.data.empty()) {
        const auto [low, high] = std::minmax_element(data.data.begin(), data.data.end());
        levels = std::to_string(*low) + "-" + std::to_string(*high);
    }
    return "dmx " + From(sender, port) + " universe=" + std::to_string(data.universe + 1) +
           " universe-byte=" + std::to_string(data.universe) +
           " start-code=" + std::to_string(data.startCode) +
           " type=" + std::to_string(data.dataType) +
           " channels=" + std::to_string(data.channelCount) + " levels=" + levels;
}

std::string IgnoredLine(const std::string& sender, std::uint16_t port, std::size_t length) {
    return "ignored " + From(sender, port) + " length=" + std::to_string(length);
}

}  // namespace simnode
