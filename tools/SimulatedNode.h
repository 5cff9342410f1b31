// A stand-in for one or many lighting nodes: answers polls and reports the DMX data it hears,
// so the program can be tried without hardware.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "net/SocketCompat.h"
#include "protocol/NodeProtocol.h"

namespace simnode {

inline constexpr int kMaxNodeCount = 4096;
// A burst of DMX messages waits here while earlier lines are written out.
inline constexpr int kReceiveQueueBytes = 256 * 1024;

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

// The report lines; their layout is part of the command-line interface (see UsageText).
std::string ReadyLine(const NodeOptions& options);
std::string PollLine(const std::string& sender, std::uint16_t port, std::size_t replies);
std::string DmxLine(const protocol::DmxDataView& data, const std::string& sender,
                    std::uint16_t port);
std::string IgnoredLine(const std::string& sender, std::uint16_t port, std::size_t length);

// The node's two sockets: one bound to the bind address for what arrives, one on an ephemeral
// port for the replies, so that the node never holds a socket that could take a unicast
// reply meant for a program on the same host.
class NodeEndpoint {
public:
    // Throws std::runtime_error when a socket cannot be made or bound.
    explicit NodeEndpoint(const NodeOptions& options);
    ~NodeEndpoint();
    NodeEndpoint(const NodeEndpoint&) = delete;
    NodeEndpoint& operator=(const NodeEndpoint&) = delete;

    // Where it listens: the system's choice when the options asked for port 0.
    std::uint16_t Port() const { return net::LocalPort(m_receive); }
    net::SocketHandle ReceiveHandle() const { return m_receive; }
    // Reads one waiting datagram, answers it if it is a poll, and returns its report line;
    // nothing when no datagram could be read.
    std::optional<std::string> HandleOne();

private:
    std::vector<std::array<std::uint8_t, protocol::kPollReplyLength>> m_replies;
    std::vector<std::uint8_t> m_buffer;
    net::SocketHandle m_receive = net::kInvalidSocket;
    net::SocketHandle m_send = net::kInvalidSocket;
};

// Serves until stopHandle becomes readable, writing one flushed line per report to out.
// Returns the exit code: 0 once stopped, 1 when waiting on the sockets failed.
int Serve(NodeEndpoint& endpoint, net::SocketHandle stopHandle, std::FILE* out);

}  // namespace simnode
