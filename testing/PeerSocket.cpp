#include "testing/PeerSocket.h"

#include "net/SystemSockets.h"

#include <atomic>
#include <cstring>

#include <stdexcept>

namespace testing_support {
namespace {

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
    net::UdpSettings settings;
    settings.address = address;
    settings.port = port;
    settings.broadcast = true;
    settings.reuseAddress = reuse;
    // A console's sends wait for room rather than fail.
    settings.nonBlocking = false;
    net::OpenOrThrow(m_socket, settings);
#ifdef SO_TIMESTAMPNS
    net::SetIntOption(m_socket.Handle(), SO_TIMESTAMPNS, 1);
#endif
    m_port = m_socket.Port();
}

bool PeerSocket::SendTo(const std::string& address, std::uint16_t port,
                        const std::vector<std::uint8_t>& bytes) {
    return m_socket.SendTo(address, port, bytes);
}

void PeerSocket::SetReceiveBuffer(int bytes) {
#ifdef SO_RCVBUFFORCE
    if (setsockopt(m_socket.Handle(), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0) {
        return;
    }
#endif
    net::SetIntOption(m_socket.Handle(), SO_RCVBUF, bytes);
}

std::optional<Datagram> PeerSocket::Receive(std::chrono::milliseconds timeout) {
    if (!net::WaitReadableFor(m_socket.Handle(), static_cast<int>(timeout.count()))) {
        return std::nullopt;
    }
    Datagram datagram;
    datagram.bytes.resize(65536);
#ifdef SO_TIMESTAMPNS
    if (!ReceiveStamped(m_socket.Handle(), datagram)) return std::nullopt;
#else
    net::Sender sender;
    const auto received = m_socket.Receive(datagram.bytes.data(), datagram.bytes.size(), sender);
    if (!received) return std::nullopt;
    datagram.bytes.resize(*received);
    datagram.senderAddress = sender.address;
    datagram.senderPort = sender.port;
#endif
    return datagram;
}

std::optional<Datagram> PeerSocket::ReceiveMatching(
    std::chrono::milliseconds timeout, const std::function<bool(const Datagram&)>& match) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + timeout;
    for (auto left = timeout; left.count() > 0;
         left = duration_cast<milliseconds>(end - steady_clock::now())) {
        std::optional<Datagram> datagram = Receive(left);
        if (!datagram || match(*datagram)) return datagram;
    }
    return std::nullopt;
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

std::optional<std::vector<Datagram>> PeerSocket::ReceiveBeforeSentinel(
    PeerSocket& from, const std::string& address, std::chrono::milliseconds timeout) {
    using namespace std::chrono;
    // Numbered, so that a late one from an earlier call is not taken for this one.
    static std::atomic<unsigned> sentinels{0};
    const std::vector<std::uint8_t> sentinel = Bytes("sentinel " + std::to_string(++sentinels));
    if (!from.SendTo(address, m_port, sentinel)) return std::nullopt;
    std::vector<Datagram> before;
    const auto end = steady_clock::now() + timeout;
    for (auto left = timeout; left.count() > 0;
         left = duration_cast<milliseconds>(end - steady_clock::now())) {
        std::optional<Datagram> datagram = Receive(left);
        if (!datagram) continue;
        if (datagram->bytes == sentinel && datagram->senderPort == from.Port()) return before;
        before.push_back(std::move(*datagram));
    }
    return std::nullopt;
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace testing_support
