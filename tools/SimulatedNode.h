// praveltest-node's endpoint: a stand-in for one or many lighting nodes that answers polls and
// reports the DMX data it hears, so the program can be tried without hardware.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "net/UdpSocket.h"
#include "protocol/NodeProtocol.h"
#include "tools/NodeOptions.h"

namespace simnode {

// A burst of DMX messages waits here while earlier lines are written out.
inline constexpr int kReceiveQueueBytes = 256 * 1024;

// The node's two sockets: one bound to the bind address for what arrives, one on an ephemeral
// port for the replies, so that the node never holds a socket that could take a unicast
// reply meant for a program on the same host.
class NodeEndpoint {
public:
    // Throws std::runtime_error when a socket cannot be made or bound.
    explicit NodeEndpoint(const NodeOptions& options);
    NodeEndpoint(const NodeEndpoint&) = delete;
    NodeEndpoint& operator=(const NodeEndpoint&) = delete;

    // Where it listens: the system's choice when the options asked for port 0.
    std::uint16_t Port() const { return m_receive.Port(); }
    net::SocketHandle ReceiveHandle() const { return m_receive.Handle(); }
    // Reads one waiting datagram, answers it if it is a poll, and returns its report line;
    // nothing when no datagram could be read.
    std::optional<std::string> HandleOne();

private:
    std::vector<std::array<std::uint8_t, protocol::kPollReplyLength>> m_replies;
    std::vector<std::uint8_t> m_buffer;
    net::UdpSocket m_receive;
    net::UdpSocket m_send;
};

// Serves until stopHandle becomes readable, writing one flushed line per report to out.
// Returns the exit code: 0 once stopped, 1 when waiting on the sockets failed.
int Serve(NodeEndpoint& endpoint, net::SocketHandle stopHandle, std::FILE* out);

}  // namespace simnode
