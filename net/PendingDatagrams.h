// Datagrams that wait for their tick: a bounded first-in, first-out list in one block of memory
// reserved once, so that holding them allocates nothing per datagram. A node's reply replaces
// the one it sent before while that still waits: the tree would show only the newer anyway, and
// repeated polls would otherwise pile up replies that keep a new node waiting behind them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "protocol/NodeProtocol.h"

namespace net {

class PendingDatagrams {
public:
    struct Datagram {
        const std::uint8_t* bytes;
        std::size_t length;
        protocol::DatagramKind kind;
        std::string senderAddress;
        std::uint16_t senderPort;
    };

    // capacityBytes bounds the datagrams and their sender fields together; longestDatagram is
    // the most any one datagram pushed may hold.
    PendingDatagrams(std::size_t capacityBytes, std::size_t longestDatagram);

    // A poll reply whose name already waits takes that entry's place; anything else goes to the
    // end. The kind is kept with it, so that it is classified once. False, and the datagram
    // counted as dropped, when it does not fit.
    bool Push(const std::uint8_t* bytes, std::size_t length, protocol::DatagramKind kind,
              const std::string& senderAddress, std::uint16_t senderPort);
    // The oldest datagram, copied into buffer (which holds at least the longest one pushed),
    // and taken off the list. False when the list is empty.
    bool Pop(std::uint8_t* buffer, std::size_t capacity, Datagram& out);
    // Forgets every waiting datagram.
    void Clear();

    bool Empty() const { return m_begin == m_end; }
    std::size_t Count() const { return m_count; }
    // The most that ever waited at once.
    std::size_t PeakCount() const { return m_peakCount; }
    std::uint64_t Dropped() const { return m_dropped; }

private:
    std::size_t Room(std::size_t length, bool reply) const;
    void Write(std::size_t at, const std::uint8_t* bytes, std::size_t length,
               protocol::DatagramKind kind, const std::string& senderAddress,
               std::uint16_t senderPort);
    bool MakeRoom(std::size_t entry);

    std::unique_ptr<std::uint8_t[]> m_storage;
    std::size_t m_capacity;
    std::size_t m_longest;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    std::size_t m_count = 0;
    std::size_t m_peakCount = 0;
    std::uint64_t m_dropped = 0;
    // Where each waiting reply is, by node name.
    std::unordered_map<std::string, std::size_t> m_replies;
};

}  // namespace net
