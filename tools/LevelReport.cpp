#include "tools/LevelReport.h"

#include <cstdio>

#include "output/OutputSettings.h"

namespace clitool {

std::string LevelLine(const LevelRequest& request, std::span<const std::uint8_t> datagram,
                      const std::string& destination, std::uint16_t port) {
    output::OutputSettings sent = request.settings;
    output::ClampSettings(sent);
    return std::string(request.dryRun ? "would-send" : "sent") +
           " level=" + std::to_string(request.level) +
           " universe=" + std::to_string(sent.universe) +
           " start-code=" + std::to_string(sent.startCode) +
           " format=" + DataFormatName(sent.dataFormat) +
           " type=" + std::to_string(output::DataTypeByte(sent.dataFormat)) +
           " channels=" + std::to_string(sent.channelCount) +
           " bytes=" + std::to_string(datagram.size()) + " to=" + destination + ":" +
           std::to_string(port);
}

std::string HexLines(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%.2X", bytes[i]);
        text += pair;
        text += (i % 16 == 15 || i + 1 == bytes.size()) ? "\n" : " ";
    }
    return text;
}

}  // namespace clitool
