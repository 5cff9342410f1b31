// What praveltest-cli level prints about the message it sent, or would send.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "tools/CliArguments.h"

namespace clitool {

// The line level prints; dryRun says "would-send" instead of "sent".
std::string LevelLine(const LevelRequest& request, std::span<const std::uint8_t> datagram,
                      const std::string& destination, std::uint16_t port);
// Upper-case hex pairs separated by spaces, 16 bytes a line.
std::string HexLines(std::span<const std::uint8_t> bytes);

}  // namespace clitool
