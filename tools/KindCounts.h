// How many datagrams of each kind a poll heard, indexed by kind.
#pragma once

#include <array>

#include "protocol/NodeProtocol.h"

namespace clitool {

using KindCounts = std::array<int, protocol::kDatagramKinds>;

}  // namespace clitool
