// The program's one UDP endpoint on port 3333: broadcast sends, a reader that empties the socket
// as traffic arrives and keeps the datagrams that act, and a tick that dispatches at most one.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "net/HostAddress.h"
#include "net/PendingDatagrams.h"
#include "net/SocketCompat.h"
#include "net/UdpSocket.h"
#include "net/WakeSignal.h"
#include "protocol/NodeProtocol.h"

namespace net {

// What the outside world decides, injected so that tests run the real code on loopback.
struct NodeSocketEnvironment {
    std::uint16_t port = protocol::kNodePort;
    std::function<std::optional<Ipv4>()> lookupHostAddress = LookupHostAddress;
    // Shows one modal message box; returns when the user has closed it.
    std::function<void(const std::string&)> showMessage;
    // Asks the modal run to end with this exit code once the current handler returns.
    std::function<void(int)> postQuit;
    // Bytes for the kernel's receive queue; 0 keeps the system default.
    int receiveBufferBytes = 0;
    // The interface the user chose, as in UdpSettings.
    std::string device;
    unsigned deviceIndex = 0;
};

// Told of every DMX data datagram as the reader takes it, on the reader's thread. own: one
// this endpoint sent, come back to it.
using DmxTap = std::function<void(std::span<const std::uint8_t> datagram, std::uint32_t address,
                                  std::uint16_t port, bool own)>;

// What the endpoint heard since its last poll went out, for saying why no node answers.
struct Traffic {
    using Clock = std::chrono::system_clock;
    std::array<int, protocol::kDatagramKinds> heardSincePoll{};  // by kind, replies too
    bool ownPollCameBack = false;
    std::optional<Clock::time_point> pollSent;
    std::optional<Clock::time_point> lastReply;  // since the endpoint was made
    std::string lastReplyFrom;
};

using PollReplyHandler =
    std::function<int(const std::uint8_t* bytes, std::size_t length,
                      const std::string& senderAddress, std::uint16_t senderPort)>;

inline constexpr std::size_t kReceiveBufferLength = protocol::kLongestDatagram;
// A console's DMX data must never hold up a node's reply: each read empties the socket, up to
// this many datagrams at a time.
inline constexpr std::size_t kMaxReadsPerTick = 4096;
// Room for the datagrams that act and wait for their tick: more than the node port's kernel
// queue holds of any size (about 10,000 replies or 6,500 full-size datagrams on Linux).
inline constexpr std::size_t kPendingBytes = kNodePortQueueBytes;

class NodeSocket {
public:
    // The broadcast address text lives with the owner; this endpoint fills it and sends to it.
    NodeSocket(std::string& broadcastAddress, NodeSocketEnvironment environment);
    ~NodeSocket();
    NodeSocket(const NodeSocket&) = delete;
    NodeSocket& operator=(const NodeSocket&) = delete;

    void SetPollReplyHandler(PollReplyHandler handler) { m_pollReplyHandler = std::move(handler); }
    // Empty stops it; whatever the reader holds is then told no more.
    void SetDmxTap(DmxTap tap);

    // Binds the port and starts the reader; see the class comment.
    void Open();
    void ComputeBroadcastAddress();
    bool SendDatagram(const std::uint8_t* bytes, std::size_t length);
    void ReceiveTick();
    int DispatchDatagram(const std::uint8_t* bytes, std::size_t length,
                         const std::string& senderAddress, std::uint16_t senderPort);

    // Ties the endpoint to another interface (empty for none) and binds again, keeping what
    // waits. A failure closes it and is kept for OpenFailure(); it asks for no box and no quit,
    // as the user did not ask for it.
    bool Retie(const std::string& device, unsigned deviceIndex);
    // Sends from address's a.b.c.255 from now on; nothing keeps the last one, which a tied
    // endpoint cannot reach while its interface is gone. True when the destination changed.
    bool UseHostAddress(const std::optional<Ipv4>& address);
    // Forgets the datagrams waiting for a tick: they came from a network no longer in use.
    void ForgetWaiting();
    // Empty while bound; otherwise why the last open failed, in the system's words.
    std::string OpenFailure() const;
    const std::string& Device() const { return m_environment.device; }
    Traffic HeardTraffic() const;

    bool IsOpen() const { return m_socket.IsOpen(); }
    // Stops the reader, then closes the socket.
    void Close();
    // The bound port once open, also when the environment asked for port 0.
    std::uint16_t Port() const { return m_environment.port; }
    // Datagrams that act, dropped because the list of those waiting was full.
    std::uint64_t DroppedDatagrams() const;
    std::size_t WaitingDatagrams() const;
    // The most that ever waited at once.
    std::size_t PeakWaitingDatagrams() const;

private:
    UdpSettings Settings() const;
    void CountHeard(protocol::DatagramKind kind, std::uint32_t address, std::uint16_t port);
    void StartReader();
    void ReadAsTrafficArrives();
    void DrainSocket();
    int Dispatch(protocol::DatagramKind kind, const std::uint8_t* bytes, std::size_t length,
                 const std::string& senderAddress, std::uint16_t senderPort);
    void Show(const std::string& text) const;
    void ShowFormatted(const char* format, const std::uint8_t* code) const;
    void RememberSent(std::span<const std::uint8_t> datagram);
    bool WasSentHere(std::span<const std::uint8_t> datagram, std::uint32_t address,
                     std::uint16_t port) const;

    std::string& m_broadcastAddress;
    NodeSocketEnvironment m_environment;
    PollReplyHandler m_pollReplyHandler;
    UdpSocket m_socket;

    // Between ticks a console's flood would overflow the kernel's queue and take node replies
    // down with it, so a thread empties the socket whenever something arrives. The lock
    // covers the socket's reads and the list.
    mutable std::mutex m_lock;
    PendingDatagrams m_pending{kPendingBytes, kReceiveBufferLength};
    std::unique_ptr<WakeSignal> m_stopReader;
    std::thread m_reader;

    // Only while someone watches: with no tap the reader drops DMX data as it always did.
    DmxTap m_dmxTap;
    std::atomic<bool> m_tapping{false};
    // The DMX data this endpoint sent lately, by hash, and the address it sends from, so that
    // its own frames are told apart from a console's when they come back.
    std::array<std::uint64_t, 32> m_sentHashes{};
    std::size_t m_nextSent = 0;
    std::uint32_t m_hostAddress = 0;
    Traffic m_traffic;  // under m_lock
    std::string m_openFailure;
};

// printf's "%4.4s" over the code bytes: at most four, ending early at a zero byte.
std::string CodeText(const std::uint8_t* bytes, std::size_t length);

}  // namespace net
