// The lines praveltest-node prints; their layout is part of its command-line interface (see
// UsageText).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/NodeProtocol.h"
#include "tools/NodeOptions.h"

namespace simnode {

std::string ReadyLine(const NodeOptions& options);
std::string PollLine(const std::string& sender, std::uint16_t port, std::size_t replies);
std::string DmxLine(const protocol::DmxDataView& data, const std::string& sender,
                    std::uint16_t port);
std::string IgnoredLine(const std::string& sender, std::uint16_t port, std::size_t length);

}  // namespace simnode
