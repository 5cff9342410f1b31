// Datagrams that wait for their tick: a bounded first-in, first-out list in one block of memory
// reserved once, so that holding them allocates nothing per datagram.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace net {

class PendingDatagrams {
public:
    struct Datagram {
        const std::uint8_t* bytes;
        std::size_t length;
        std::string senderAddress;
        std::uint16_t senderPort;
    };

    // capacityBytes bounds the datagrams and their sender fields together.
    explicit PendingDatagrams(std::size_t capacityBytes);

    // False, and the datagram counted as dropped, when it does not fit.
    bool Push(const std::uint8_t* bytes, std::size_t length, const std::string& senderAddress,
              std::uint16_t senderPort);
    // The oldest datagram, copied into buffer (which holds at least the longest one pushed),
    // and taken off the list. False when the list is empty.
    bool Pop(std::uint8_t* buffer, std::size_t capacity, Datagram& out);

    bool Empty() const { return m_begin == m_end; }
    std::size_t Count() const { return m_count; }
    std::uint64_t Dropped() const { return m_dropped; }

private:
    std::unique_ptr<std::uint8_t[]> m_storage;
    std::size_t m_capacity;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    std::size_t m_count = 0;
    std::uint64_t m_dropped = 0;
};

}  // namespace net
