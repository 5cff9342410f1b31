// praveltest-node's command line: the identity of the nodes it acts as, and where it listens.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/NodeProtocol.h"

namespace simnode {

inline constexpr int kMaxNodeCount = 4096;

struct NodeOptions {
    // The first node's identity; further nodes differ in name and MAC only.
    protocol::PollReplyMessage identity;
    int count = 1;
    std::uint16_t port = protocol::kNodePort;
    std::string bindAddress = "0.0.0.0";

    NodeOptions();
};

enum class ParseOutcome { Run, Help, ListInterfaces, Error };

struct ParseResult {
    ParseOutcome outcome = ParseOutcome::Error;
    NodeOptions options;
    std::string error;  // set for ParseOutcome::Error
};

// args excludes the program name. Accepts "--name value" and "--name=value".
ParseResult ParseArguments(const std::vector<std::string>& args);
std::string UsageText(const std::string& program);

// The identity of each simulated node, in reply order.
std::vector<protocol::PollReplyMessage> NodeIdentities(const NodeOptions& options);

}  // namespace simnode
