// The texts of a located node's eleven rows, apart from the tree that shows them.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "protocol/NodeProtocol.h"

namespace discovery {

inline constexpr std::size_t kRowCount = 11;

// The tree shows Text(); praveltest-cli shows label and value apart, as a column and its cell.
struct Row {
    std::string label;  // without the colon that Text() puts after it
    std::string value;
    std::string Text() const { return label + ": " + value; }
};

using DeviceRows = std::array<Row, kRowCount>;

// The labels in row order.
const std::array<std::string, kRowCount>& RowLabels();
// What a new row shows until a reply fills it in: its label and the colon.
std::string PlaceholderText(const std::string& label);
// The eleven rows for one reply, row 1 being the sender's address.
DeviceRows FormatRows(const protocol::PollReplyMessage& reply, const std::string& senderAddress);

}  // namespace discovery
