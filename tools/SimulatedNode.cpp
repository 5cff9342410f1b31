#include "tools/SimulatedNode.h"

#include "tools/NodeReport.h"

namespace simnode {

NodeEndpoint::NodeEndpoint(const NodeOptions& options) : m_buffer(65536) {
    for (const protocol::PollReplyMessage& node : NodeIdentities(options)) {
        m_replies.push_back(protocol::WritePollReply(node));
    }
    net::UdpSettings listen;
    listen.address = options.bindAddress;
    listen.port = options.port;
    listen.broadcast = true;
    // Address reuse lets the node share the port with the program on one host.
    listen.reuseAddress = true;
    listen.receiveQueueBytes = kReceiveQueueBytes;
    net::OpenOrThrow(m_receive, listen);
    // Blocking: a poll to thousands of nodes sends their replies faster than the queue drains.
    net::UdpSettings reply;
    reply.nonBlocking = false;
    net::OpenOrThrow(m_send, reply);
}

std::optional<std::string> NodeEndpoint::HandleOne() {
    net::Sender sender;
    const auto received = m_receive.Receive(m_buffer.data(), m_buffer.size(), sender);
    if (!received) return std::nullopt;
    const std::span<const std::uint8_t> datagram(m_buffer.data(), *received);

    switch (protocol::ClassifyDatagram(datagram)) {
        case protocol::DatagramKind::Poll: {
            std::size_t sent = 0;
            for (const auto& reply : m_replies) {
                if (m_send.SendTo(sender.address, sender.port, reply)) ++sent;
            }
            return PollLine(sender.address, sender.port, sent);
        }
        case protocol::DatagramKind::DmxData:
            if (const auto data = protocol::ReadDmxData(datagram)) {
                return DmxLine(*data, sender.address, sender.port);
            }
            break;
        default:
            break;
    }
    return IgnoredLine(sender.address, sender.port, datagram.size());
}

int Serve(NodeEndpoint& endpoint, net::SocketHandle stopHandle, std::FILE* out) {
    while (true) {
        switch (net::WaitReadable(endpoint.ReceiveHandle(), stopHandle)) {
            case net::WaitResult::Second:
                return 0;
            case net::WaitResult::Failed:
                return 1;
            case net::WaitResult::First:
                break;
        }
        // A pending socket error also wakes the wait; the read below clears it.
        if (const auto line = endpoint.HandleOne()) {
            std::fprintf(out, "%s\n", line->c_str());
            std::fflush(out);
        }
    }
}

}  // namespace simnode
