// A plain UDP socket for tests and the performance harness: the other end of the
// conversation, on loopback or in a lab.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/UdpSocket.h"

namespace testing_support {

struct Datagram {
    std::vector<std::uint8_t> bytes;
    std::string senderAddress;
    std::uint16_t senderPort = 0;
    std::int64_t kernelRealtimeNs = 0;  // when the kernel received it, CLOCK_REALTIME
};

class PeerSocket {
public:
    // Bound to address:port; port 0 picks a free one. reuse sets SO_REUSEADDR first.
    explicit PeerSocket(const std::string& address = "127.0.0.1", std::uint16_t port = 0,
                        bool reuse = false);
    PeerSocket(const PeerSocket&) = delete;
    PeerSocket& operator=(const PeerSocket&) = delete;

    std::uint16_t Port() const { return m_port; }
    // A larger kernel queue, beyond the system limit when root, so a burst waits there.
    void SetReceiveBuffer(int bytes);
    bool SendTo(const std::string& address, std::uint16_t port,
                const std::vector<std::uint8_t>& bytes);
    // Waits up to timeout for one datagram.
    std::optional<Datagram> Receive(std::chrono::milliseconds timeout);
    // What arrives within timeout, sooner once count datagrams have come.
    std::vector<Datagram> ReceiveFor(std::chrono::milliseconds timeout,
                                     std::size_t count = SIZE_MAX);
    // The first datagram within timeout that match accepts, passing over the others.
    std::optional<Datagram> ReceiveMatching(std::chrono::milliseconds timeout,
                                            const std::function<bool(const Datagram&)>& match);
    // Drops whatever is waiting now.
    void Discard();
    // Everything that reaches this socket before a sentinel datagram, which `from` sends now to
    // address (this socket's, as `from` reaches it) on this socket's port; in order. nullopt
    // when the sentinel has not come within timeout. Call it once the sends being checked are
    // done, with `from` on their sender's host: datagrams sent earlier from one host reach this
    // socket first, so every one of those sends is in the list.
    std::optional<std::vector<Datagram>> ReceiveBeforeSentinel(
        PeerSocket& from, const std::string& address,
        std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    net::UdpSocket m_socket;
    std::uint16_t m_port = 0;
};

std::vector<std::uint8_t> Bytes(const std::string& text);

}  // namespace testing_support
