// One IPv4 datagram socket, opened and set up the same way by every program here: the window,
// praveltest-cli, praveltest-node and the test peers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "net/SocketCompat.h"
#include "protocol/NodeProtocol.h"

namespace net {

// The kernel's receive queue on the node port: a console's DMX data waits there beside the
// replies of a few hundred nodes until it is read.
inline constexpr int kNodePortQueueBytes = 4 * 1024 * 1024;

struct UdpSettings {
    std::string address = "0.0.0.0";  // the local address bound
    std::uint16_t port = 0;           // 0 lets the system choose
    bool broadcast = false;
    // Shares the port with other programs on this host, the node and the window among them.
    bool reuseAddress = false;
    bool nonBlocking = true;
    int receiveQueueBytes = 0;  // 0 keeps the system default
    // The interface the user chose: sends use it and no other, even when it is gone and a route
    // would take them elsewhere (on Linux receives too). Empty for no tie. Linux ties by name,
    // Windows by index.
    std::string device;
    unsigned deviceIndex = 0;
};

struct Sender {
    std::string address;  // dotted decimal
    std::uint16_t port = 0;
};

// What waits on a socket, read in as few system calls as the platform allows.
struct DatagramBatch {
    static constexpr std::size_t kCount = 64;
    static constexpr std::size_t kCapacity = protocol::kLongestDatagram;
    struct Entry {
        std::size_t length;
        bool oversized;         // longer than kCapacity: dropped whole, no bytes
        std::uint32_t address;  // the sender's, in network order
        std::uint16_t port;
    };
    std::array<std::array<std::uint8_t, kCapacity>, kCount> buffers;
    std::array<Entry, kCount> entries;
};

// The step at which opening failed; LastSocketError() holds the system's reason.
enum class UdpFailure { None, Create, Device, Bind };

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket() { Close(); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Creates, sets up, ties and binds. After a failed tie or bind the socket stays created,
    // so that a caller can report before it closes.
    UdpFailure Open(const UdpSettings& settings);
    void Close();

    bool IsOpen() const { return m_handle != kInvalidSocket; }
    SocketHandle Handle() const { return m_handle; }
    // The bound port, as the system chose it for port 0; 0 when unknown.
    std::uint16_t Port() const { return LocalPort(m_handle); }

    // False, with the reason as the last socket error, when the send failed, the address is no
    // dotted decimal or the socket is closed.
    bool SendTo(const std::string& address, std::uint16_t port,
                std::span<const std::uint8_t> bytes) const;
    // Fills the batch with up to kCount waiting datagrams and returns how many; 0 when none
    // waits or the socket failed. Fewer than kCount means the socket was emptied.
    std::size_t Receive(DatagramBatch& batch) const;
    // Reads one waiting datagram into buffer and returns its length, 0 for an empty one.
    // Nothing when none waits, on error, or when the datagram was longer than capacity: that
    // one is dropped whole.
    std::optional<std::size_t> Receive(std::uint8_t* buffer, std::size_t capacity,
                                       Sender& sender) const;

private:
    bool TieToDevice(const UdpSettings& settings) const;

    SocketHandle m_handle = kInvalidSocket;
};

// "cannot create a socket", "cannot tie a socket to DEVICE" or "cannot bind ADDRESS:PORT",
// then the system's words for the last socket error.
std::string UdpFailureText(UdpFailure failure, const UdpSettings& settings);
// For the tools, whose every failure ends the run: opens or throws std::runtime_error with the
// text above.
void OpenOrThrow(UdpSocket& socket, const UdpSettings& settings);

}  // namespace net
