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
