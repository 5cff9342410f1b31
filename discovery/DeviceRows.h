// The texts of a located node's eleven rows, apart from the tree that shows them.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "protocol/NodeProtocol.h"

namespace discovery {

inline constexpr std::size_t kRowCount = 11;

using RowTexts = std::array<std::string, kRowCount>;

// The labels that new rows carry until the reply's texts overwrite them.
const RowTexts& RowLabels();
// The eleven full texts for one reply, row 1 being the sender's address.
RowTexts FormatRows(const protocol::PollReplyMessage& reply, const std::string& senderAddress);

}  // namespace discovery
