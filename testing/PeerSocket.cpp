#include "testing/PeerSocket.h"

#include "net/SystemSockets.h"

#include <cstring>

#include <stdexcept>

namespace testing_support {
namespace {

sockaddr_in SocketAddress(const std::string& address, std::uint16_t port) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr);
    return socketAddress;
}

#ifdef SO_TIMESTAMPNS
// Linux hands over the kernel's arrival time too, for the performance harness's latencies.
bool ReceiveStamped(net::SocketHandle handle, Datagram& datagram) {
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
    const ssize_t received = recvmsg(handle, &message, MSG_DONTWAIT);
    if (received < 0) return false;
    datagram.bytes.resize(static_cast<std::size_t>(received));
    for (cmsghdr* each = CMSG_FIRSTHDR(&message); each; each = CMSG_NXTHDR(&message, each)) {
        if (each->cmsg_level == SOL_SOCKET && each->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(each), sizeof stamp);
            datagram.kernelRealtimeNs =
                static_cast<std::int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
        }
    }
    datagram.senderAddress = net::AddressText(sender.sin_addr.s_addr);
    datagram.senderPort = ntohs(sender.sin_port);
    return true;
}
#endif

}  // namespace

PeerSocket::PeerSocket(const std::string& address, std::uint16_t port, bool reuse) {
    m_handle = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_handle == net::kInvalidSocket) throw std::runtime_error("socket() failed");
    net::SetIntOption(m_handle, SO_BROADCAST, 1);
#ifdef SO_TIMESTAMPNS
    net::SetIntOption(m_handle, SO_TIMESTAMPNS, 1);
#endif
    if (reuse) net::SetIntOption(m_handle, SO_REUSEADDR, 1);
    const sockaddr_in local = SocketAddress(address, port);
    if (bind(m_handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        net::CloseSocketHandle(m_handle);
        throw std::runtime_error("bind() failed for " + address + ":" + std::to_string(port));
    }
    m_port = net::LocalPort(m_handle);
}

PeerSocket::~PeerSocket() {
    net::CloseSocketHandle(m_handle);
}

bool PeerSocket::SendTo(const std::string& address, std::uint16_t port,
                        const std::vector<std::uint8_t>& bytes) {
    const sockaddr_in destination = SocketAddress(address, port);
    return sendto(m_handle, reinterpret_cast<const char*>(bytes.data()),
                  static_cast<net::SocketLength>(bytes.size()), 0,
                  reinterpret_cast<const sockaddr*>(&destination), sizeof destination) >= 0;
}

void PeerSocket::SetReceiveBuffer(int bytes) {
#ifdef SO_RCVBUFFORCE
    if (setsockopt(m_handle, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0) return;
#endif
    net::SetIntOption(m_handle, SO_RCVBUF, bytes);
}

std::optional<Datagram> PeerSocket::Receive(std::chrono::milliseconds timeout) {
    if (!net::WaitReadableFor(m_handle, static_cast<int>(timeout.count()))) return std::nullopt;
    Datagram datagram;
    datagram.bytes.resize(65536);
#ifdef SO_TIMESTAMPNS
    if (!ReceiveStamped(m_handle, datagram)) return std::nullopt;
#else
    net::Sender sender;
    const auto received =
        net::ReceiveDatagram(m_handle, datagram.bytes.data(), datagram.bytes.size(), sender);
    if (!received) return std::nullopt;
    datagram.bytes.resize(*received);
    datagram.senderAddress = sender.address;
    datagram.senderPort = sender.port;
#endif
    return datagram;
}

std::vector<Datagram> PeerSocket::ReceiveFor(std::chrono::milliseconds timeout, std::size_t count) {
    using namespace std::chrono;
    std::vector<Datagram> all;
    const auto end = steady_clock::now() + timeout;
    for (auto left = timeout; all.size() < count && left.count() > 0;
         left = duration_cast<milliseconds>(end - steady_clock::now())) {
        if (auto datagram = Receive(left)) all.push_back(std::move(*datagram));
    }
    return all;
}

void PeerSocket::Discard() {
    while (Receive(std::chrono::milliseconds(0))) {
    }
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace testing_support
