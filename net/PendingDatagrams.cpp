#include "net/PendingDatagrams.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "protocol/NodeProtocol.h"

namespace net {
namespace {

// Each entry: its length, the sender's port, its kind, the sender's dotted-decimal text padded
// to 16 bytes, then the datagram.
constexpr std::size_t kKindField = 4;
constexpr std::size_t kAddressField = 16;
constexpr std::size_t kAddressAt = kKindField + 1;
constexpr std::size_t kHeader = kAddressAt + kAddressField;

std::uint16_t ReadU16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

void WriteU16(std::uint8_t* at, std::size_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

PendingDatagrams::PendingDatagrams(std::size_t capacityBytes, std::size_t longestDatagram)
    : m_capacity(capacityBytes), m_longest(longestDatagram) {}

// A reply takes the room of the longest datagram, so that any later reply under its name fits
// its place.
std::size_t PendingDatagrams::Room(std::size_t length, bool reply) const {
    return kHeader + (reply ? std::max(length, m_longest) : length);
}

bool PendingDatagrams::Push(const std::uint8_t* bytes, std::size_t length,
                            protocol::DatagramKind kind, const std::string& senderAddress,
                            std::uint16_t senderPort) {
    if (length > 0xFFFF || length > m_longest || senderAddress.size() >= kAddressField) {
        ++m_dropped;
        return false;
    }
    const std::span<const std::uint8_t> datagram(bytes, length);
    const auto name = protocol::PollReplyName(datagram);
    if (name) {
        const auto waiting = m_replies.find(std::string(*name));
        if (waiting != m_replies.end()) {
            Write(waiting->second, bytes, length, kind, senderAddress, senderPort);
            return true;
        }
    }
    const std::size_t room = Room(length, name.has_value());
    if (!MakeRoom(room)) {
        ++m_dropped;
        return false;
    }
    if (name) m_replies.emplace(*name, m_end);
    Write(m_end, bytes, length, kind, senderAddress, senderPort);
    m_end += room;
    if (++m_count > m_peakCount) m_peakCount = m_count;
    return true;
}

bool PendingDatagrams::MakeRoom(std::size_t entry) {
    // Reserved at the first datagram, left uninitialised: pages are only touched as far as
    // the list ever reaches.
    if (!m_storage) m_storage.reset(new std::uint8_t[m_capacity]);
    // Slide the waiting ones down once more has been taken than still waits: the list then
    // touches no more memory than twice what ever waited at once, even when it never empties
    // (as when nodes answer faster than the tick lists them), and each byte moves about once.
    const std::size_t waiting = m_end - m_begin;
    if (m_begin > 0 && (m_capacity - m_end < entry || m_begin >= waiting)) {
        std::memmove(m_storage.get(), m_storage.get() + m_begin, m_end - m_begin);
        for (auto& reply : m_replies) reply.second -= m_begin;
        m_end -= m_begin;
        m_begin = 0;
    }
    return m_capacity - m_end >= entry;
}

void PendingDatagrams::Write(std::size_t at, const std::uint8_t* bytes, std::size_t length,
                             protocol::DatagramKind kind, const std::string& senderAddress,
                             std::uint16_t senderPort) {
    std::uint8_t* entry = m_storage.get() + at;
    WriteU16(entry, length);
    WriteU16(entry + 2, senderPort);
    entry[kKindField] = static_cast<std::uint8_t>(kind);
    std::memset(entry + kAddressAt, 0, kAddressField);
    std::memcpy(entry + kAddressAt, senderAddress.data(), senderAddress.size());
    if (length > 0) std::memcpy(entry + kHeader, bytes, length);
}

bool PendingDatagrams::Pop(std::uint8_t* buffer, std::size_t capacity, Datagram& out) {
    if (Empty()) return false;
    const std::uint8_t* at = m_storage.get() + m_begin;
    const std::size_t length = ReadU16(at);
    const std::size_t copied = length < capacity ? length : capacity;
    std::memcpy(buffer, at + kHeader, copied);
    out.bytes = buffer;
    out.length = copied;
    out.kind = static_cast<protocol::DatagramKind>(at[kKindField]);
    out.senderPort = ReadU16(at + 2);
    out.senderAddress.assign(reinterpret_cast<const char*>(at + kAddressAt));
    const auto name = protocol::PollReplyName({at + kHeader, length});
    if (name) m_replies.erase(std::string(*name));
    m_begin += Room(length, name.has_value());
    --m_count;
    // Start again from the front whenever the list empties, as it does on nearly every tick.
    if (m_begin == m_end) m_begin = m_end = 0;
    return true;
}

void PendingDatagrams::Clear() {
    m_begin = m_end = m_count = 0;
    m_replies.clear();
}

}  // namespace net
