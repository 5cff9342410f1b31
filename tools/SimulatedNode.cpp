#include "tools/SimulatedNode.h"

#include <stdexcept>

#include "net/SystemSockets.h"
#include "tools/NodeReport.h"

namespace simnode {
namespace {

using protocol::PollReplyMessage;

std::runtime_error SocketError(const std::string& what) {
    return std::runtime_error(what + ": " + net::SocketErrorText(net::LastSocketError()));
}

}  // namespace

NodeEndpoint::NodeEndpoint(const NodeOptions& options) : m_buffer(65536) {
    for (const PollReplyMessage& node : NodeIdentities(options)) {
        m_replies.push_back(protocol::WritePollReply(node));
    }
    m_receive = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_receive == net::kInvalidSocket) throw SocketError("cannot create the receive socket");
    net::MakeNonBlocking(m_receive);
    // Address reuse lets the node share the port with the program on one host.
    net::AllowBroadcastAndReuse(m_receive);
    net::SetIntOption(m_receive, SO_RCVBUF, kReceiveQueueBytes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(options.port);
    inet_pton(AF_INET, options.bindAddress.c_str(), &local.sin_addr);
    if (bind(m_receive, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const auto error =
            SocketError("cannot bind " + options.bindAddress + ":" + std::to_string(options.port));
        net::CloseSocketHandle(m_receive);
        throw error;
    }
    m_send = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_send == net::kInvalidSocket) {
        const auto error = SocketError("cannot create the send socket");
        net::CloseSocketHandle(m_receive);
        throw error;
    }
}

NodeEndpoint::~NodeEndpoint() {
    net::CloseSocketHandle(m_receive);
    net::CloseSocketHandle(m_send);
}

std::optional<std::string> NodeEndpoint::HandleOne() {
    net::Sender sender;
    const auto received = net::ReceiveDatagram(m_receive, m_buffer.data(), m_buffer.size(), sender);
    if (!received) return std::nullopt;
    const std::span<const std::uint8_t> datagram(m_buffer.data(), *received);

    if (protocol::HasCode(datagram, protocol::kCodePoll)) {
        sockaddr_in destination{};
        destination.sin_family = AF_INET;
        destination.sin_port = htons(sender.port);
        inet_pton(AF_INET, sender.address.c_str(), &destination.sin_addr);
        std::size_t sent = 0;
        for (const auto& reply : m_replies) {
            if (sendto(m_send, reinterpret_cast<const char*>(reply.data()),
                       static_cast<net::SocketLength>(reply.size()), 0,
                       reinterpret_cast<const sockaddr*>(&destination), sizeof destination) >= 0) {
                ++sent;
            }
        }
        return PollLine(sender.address, sender.port, sent);
    }
    if (const auto data = protocol::ReadDmxData(datagram)) {
        return DmxLine(*data, sender.address, sender.port);
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
