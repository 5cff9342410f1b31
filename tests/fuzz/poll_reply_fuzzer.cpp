// Any bytes through the poll-reply reader: no crash, and what it reads writes back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "protocol/NodeProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto reply = protocol::ReadPollReply(std::span(data, size));
    if (reply.has_value() != (size >= protocol::kPollReplyLength)) std::abort();
    if (!reply) return 0;
    if (reply->name.size() > protocol::kNodeNameLength) std::abort();
    if (reply->name.find('\0') != std::string::npos) std::abort();
    const auto bytes = protocol::WritePollReply(*reply);
    const auto again = protocol::ReadPollReply(bytes);
    if (!again || again->name != reply->name || again->mac != reply->mac ||
        again->universe != reply->universe || again->options != reply->options) {
        std::abort();
    }
    return 0;
}
