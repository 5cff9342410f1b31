#include "tests/support/PeerSocket.h"

#include "net/SystemSockets.h"

#include <stdexcept>

namespace testing_support {

PeerSocket::PeerSocket(const std::string& address, std::uint16_t port, bool reuse) {
    m_handle = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_handle == net::kInvalidSocket) throw std::runtime_error("socket() failed");
    net::SetIntOption(m_handle, SO_BROADCAST, 1);
    if (reuse) net::SetIntOption(m_handle, SO_REUSEADDR, 1);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (bind(m_handle, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        net::CloseSocketHandle(m_handle);
        throw std::runtime_error("bind() failed for " + address + ":" + std::to_string(port));
    }
    net::SocketLength length = sizeof local;
    getsockname(m_handle, reinterpret_cast<sockaddr*>(&local), &length);
    m_port = ntohs(local.sin_port);
}

PeerSocket::~PeerSocket() {
    if (m_handle != net::kInvalidSocket) net::CloseSocketHandle(m_handle);
}

bool PeerSocket::SendTo(const std::string& address, std::uint16_t port,
                        const std::vector<std::uint8_t>& bytes) {
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &destination.sin_addr);
    return sendto(m_handle, reinterpret_cast<const char*>(bytes.data()),
                  static_cast<net::SocketLength>(bytes.size()), 0,
                  reinterpret_cast<sockaddr*>(&destination), sizeof destination) >= 0;
}

std::optional<Datagram> PeerSocket::Receive(std::chrono::milliseconds timeout) {
    if (!net::WaitReadableFor(m_handle, static_cast<int>(timeout.count()))) return std::nullopt;
    Datagram datagram;
    datagram.bytes.resize(65536);
    net::Sender sender;
    const auto received =
        net::ReceiveDatagram(m_handle, datagram.bytes.data(), datagram.bytes.size(), sender);
    if (!received) return std::nullopt;
    datagram.bytes.resize(*received);
    datagram.senderAddress = sender.address;
    datagram.senderPort = sender.port;
    return datagram;
}

std::vector<Datagram> PeerSocket::Drain(std::chrono::milliseconds window) {
    std::vector<Datagram> all;
    const auto end = std::chrono::steady_clock::now() + window;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (auto datagram = Receive(left)) all.push_back(std::move(*datagram));
    }
    return all;
}

std::uint16_t FreeUdpPort() {
    PeerSocket probe("127.0.0.1", 0);
    return probe.Port();
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace testing_support
