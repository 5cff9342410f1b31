#include "net/UdpSocket.h"

#include <cerrno>
#include <stdexcept>

#include "net/SystemSockets.h"

namespace net {
namespace {

#ifdef _WIN32
constexpr int kNoAddress = WSAEADDRNOTAVAIL;
constexpr int kClosed = WSAENOTSOCK;
#else
constexpr int kNoAddress = EADDRNOTAVAIL;
constexpr int kClosed = EBADF;
#endif

// Fills address for text in dotted decimal; otherwise false, with the last socket error set.
bool SocketAddress(const std::string& text, std::uint16_t port, sockaddr_in& address) {
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, text.c_str(), &address.sin_addr) == 1) return true;
    SetLastSocketError(kNoAddress);
    return false;
}

}  // namespace

UdpFailure UdpSocket::Open(const UdpSettings& settings) {
    Close();
    m_handle = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_handle == kInvalidSocket) return UdpFailure::Create;
    if (settings.nonBlocking) MakeNonBlocking(m_handle);
    if (settings.broadcast) SetIntOption(m_handle, SO_BROADCAST, 1);
    if (settings.reuseAddress) SetIntOption(m_handle, SO_REUSEADDR, 1);
    if (settings.receiveQueueBytes > 0) {
        SetIntOption(m_handle, SO_RCVBUF, settings.receiveQueueBytes);
    }
    // A socket that cannot be tied to the chosen interface might reach another network's
    // lights, so it counts as one that cannot be bound.
    if (!TieToDevice(settings)) return UdpFailure::Device;
    sockaddr_in local;
    if (!SocketAddress(settings.address, settings.port, local) ||
        bind(m_handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return UdpFailure::Bind;
    }
    return UdpFailure::None;
}

bool UdpSocket::TieToDevice(const UdpSettings& settings) const {
    if (settings.device.empty()) return true;
#ifdef _WIN32
    // IPv4 takes the adapter's index in network byte order. Index 0 would mean no tie, so an
    // adapter whose index is unknown fails here rather than send anywhere.
    if (settings.deviceIndex == 0) {
        SetLastSocketError(kNoAddress);
        return false;
    }
    const DWORD index = htonl(settings.deviceIndex);
    return setsockopt(m_handle, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&index),
                      sizeof index) == 0;
#elif defined(SO_BINDTODEVICE)
    return setsockopt(m_handle, SOL_SOCKET, SO_BINDTODEVICE, settings.device.c_str(),
                      static_cast<SocketLength>(settings.device.size())) == 0;
#else
    return true;
#endif
}

void UdpSocket::Close() {
    if (m_handle == kInvalidSocket) return;
    CloseSocketHandle(m_handle);
    m_handle = kInvalidSocket;
}

bool UdpSocket::SendTo(const std::string& address, std::uint16_t port,
                       std::span<const std::uint8_t> bytes) const {
    sockaddr_in destination;
    if (!SocketAddress(address, port, destination)) return false;
    if (m_handle == kInvalidSocket) {
        SetLastSocketError(kClosed);
        return false;
    }
    return sendto(m_handle, reinterpret_cast<const char*>(bytes.data()),
                  static_cast<SocketLength>(bytes.size()), 0,
                  reinterpret_cast<const sockaddr*>(&destination), sizeof destination) >= 0;
}

#ifdef _WIN32
std::size_t UdpSocket::Receive(DatagramBatch& batch) const {
    const SocketHandle handle = m_handle;
    if (handle == kInvalidSocket) return 0;
    std::size_t count = 0;
    while (count < DatagramBatch::kCount) {
        sockaddr_in from{};
        SocketLength fromLength = sizeof from;
        const int received = recvfrom(handle, reinterpret_cast<char*>(batch.buffers[count].data()),
                                      static_cast<int>(DatagramBatch::kCapacity), 0,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
        bool oversized = false;
        if (received < 0) {
            const int error = WSAGetLastError();
            if (error == WSAECONNRESET) continue;  // an earlier send's port-unreachable report
            if (error != WSAEMSGSIZE) break;
            oversized = true;
        }
        batch.entries[count++] = {oversized ? 0 : static_cast<std::size_t>(received), oversized,
                                  from.sin_addr.s_addr, ntohs(from.sin_port)};
    }
    return count;
}
#else
// One recvmmsg call: under a console's flood a tick takes thousands of datagrams, and a
// system call for each would cost milliseconds.
std::size_t UdpSocket::Receive(DatagramBatch& batch) const {
    const SocketHandle handle = m_handle;
    if (handle == kInvalidSocket) return 0;
    constexpr std::size_t kCount = DatagramBatch::kCount;
    std::array<mmsghdr, kCount> messages{};
    std::array<iovec, kCount> vectors{};
    std::array<sockaddr_in, kCount> senders{};
    for (std::size_t i = 0; i < kCount; ++i) {
        vectors[i] = {batch.buffers[i].data(), DatagramBatch::kCapacity};
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &senders[i];
        messages[i].msg_hdr.msg_namelen = sizeof senders[i];
    }
    const int received = recvmmsg(handle, messages.data(), kCount, 0, nullptr);
    if (received <= 0) return 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(received); ++i) {
        const bool oversized = (messages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
        batch.entries[i] = {oversized ? 0 : messages[i].msg_len, oversized,
                            senders[i].sin_addr.s_addr, ntohs(senders[i].sin_port)};
    }
    return static_cast<std::size_t>(received);
}
#endif

std::optional<std::size_t> UdpSocket::Receive(std::uint8_t* buffer, std::size_t capacity,
                                              Sender& sender) const {
    const SocketHandle handle = m_handle;
    if (handle == kInvalidSocket) return std::nullopt;
    sockaddr_in from{};
    SocketLength fromLength = sizeof from;
#ifdef _WIN32
    // Windows fails an oversized datagram with WSAEMSGSIZE and discards the rest of it.
    const int received =
        recvfrom(handle, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received < 0) return std::nullopt;
#else
    // MSG_TRUNC makes the kernel return the datagram's real length, so an oversized one
    // is recognised and dropped whole rather than taken cut short.
    const ssize_t received = recvfrom(handle, buffer, capacity, MSG_TRUNC,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received < 0 || static_cast<std::size_t>(received) > capacity) return std::nullopt;
#endif
    sender.address = AddressText(from.sin_addr.s_addr);
    sender.port = ntohs(from.sin_port);
    return static_cast<std::size_t>(received);
}

std::string UdpFailureText(UdpFailure failure, const UdpSettings& settings) {
    std::string what;
    switch (failure) {
        case UdpFailure::None:
            return {};
        case UdpFailure::Create:
            what = "cannot create a socket";
            break;
        case UdpFailure::Device:
            what = "cannot tie a socket to " + settings.device;
            break;
        case UdpFailure::Bind:
            what = "cannot bind " + settings.address + ":" + std::to_string(settings.port);
            break;
    }
    return what + ": " + SocketErrorText(LastSocketError());
}

void OpenOrThrow(UdpSocket& socket, const UdpSettings& settings) {
    const UdpFailure failure = socket.Open(settings);
    if (failure == UdpFailure::None) return;
    const std::string text = UdpFailureText(failure, settings);
    socket.Close();
    throw std::runtime_error(text);
}

}  // namespace net
