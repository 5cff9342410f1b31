#include "tests/support/PeerSocket.h"

#include <poll.h>

#include <cstdint>
#include <cstring>

#include <stdexcept>

namespace testing_support {

PeerSocket::PeerSocket(const std::string& address, std::uint16_t port, bool reuse) {
    m_handle = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_handle == kInvalidSocket) throw std::runtime_error("socket() failed");
    const int on = 1;
    setsockopt(m_handle, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    setsockopt(m_handle, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    if (reuse) setsockopt(m_handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (bind(m_handle, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(m_handle);
        throw std::runtime_error("bind() failed for " + address + ":" + std::to_string(port));
    }
    socklen_t length = sizeof local;
    getsockname(m_handle, reinterpret_cast<sockaddr*>(&local), &length);
    m_port = ntohs(local.sin_port);
}

PeerSocket::~PeerSocket() {
    if (m_handle != kInvalidSocket) ::close(m_handle);
}

bool PeerSocket::SendTo(const std::string& address, std::uint16_t port,
                        const std::vector<std::uint8_t>& bytes) {
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &destination.sin_addr);
    return sendto(m_handle, bytes.data(), bytes.size(), 0,
                  reinterpret_cast<sockaddr*>(&destination), sizeof destination) >= 0;
}

void PeerSocket::SetReceiveBuffer(int bytes) {
    if (setsockopt(m_handle, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0) {
        setsockopt(m_handle, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
}

std::optional<Datagram> PeerSocket::Receive(std::chrono::milliseconds timeout) {
    pollfd waiting{m_handle, POLLIN, 0};
    if (poll(&waiting, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
    Datagram datagram;
    datagram.bytes.resize(65536);
    sockaddr_in sender{};
    iovec vector{datagram.bytes.data(), datagram.bytes.size()};
    alignas(cmsghdr) char control[128];
    msghdr message{};
    message.msg_name = &sender;
    message.msg_namelen = sizeof sender;
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = recvmsg(m_handle, &message, MSG_DONTWAIT);
    if (received < 0) return std::nullopt;
    datagram.bytes.resize(static_cast<std::size_t>(received));
    for (cmsghdr* each = CMSG_FIRSTHDR(&message); each; each = CMSG_NXTHDR(&message, each)) {
        if (each->cmsg_level == SOL_SOCKET && each->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(each), sizeof stamp);
            datagram.kernelRealtimeNs =
                static_cast<std::int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
        }
    }
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
    datagram.senderAddress = text;
    datagram.senderPort = ntohs(sender.sin_port);
    return datagram;
}

std::vector<Datagram> PeerSocket::ReceiveUpTo(std::size_t count,
                                              std::chrono::milliseconds timeout) {
    std::vector<Datagram> all;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (all.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (auto datagram = Receive(left)) all.push_back(std::move(*datagram));
    }
    return all;
}

std::vector<Datagram> PeerSocket::Drain(std::chrono::milliseconds window) {
    return ReceiveUpTo(SIZE_MAX, window);
}

void PeerSocket::Discard() {
    while (Receive(std::chrono::milliseconds(0))) {
    }
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace testing_support
