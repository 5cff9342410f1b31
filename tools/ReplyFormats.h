// The three ways praveltest-cli prints the nodes a poll found: an aligned table, JSON lines and
// CSV.
#pragma once

#include <string>
#include <vector>

#include "tools/CliArguments.h"
#include "tools/ReplyCollector.h"

namespace clitool {

std::string FormatNodes(const std::vector<NodeRecord>& nodes, PollFormat format);

}  // namespace clitool
