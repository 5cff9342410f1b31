#include "net/PendingDatagrams.h"

#include <cstring>

namespace net {
namespace {

// Each entry: its length, the sender's port, the sender's dotted-decimal text padded to 16
// bytes, then the datagram.
constexpr std::size_t kAddressField = 16;
constexpr std::size_t kHeader = 2 + 2 + kAddressField;

std::uint16_t ReadU16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

void WriteU16(std::uint8_t* at, std::size_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

PendingDatagrams::PendingDatagrams(std::size_t capacityBytes) : m_capacity(capacityBytes) {}

bool PendingDatagrams::Push(const std::uint8_t* bytes, std::size_t length,
                            const std::string& senderAddress, std::uint16_t senderPort) {
    const std::size_t entry = kHeader + length;
    // Reserved at the first datagram, left uninitialised: pages are only touched as far as
    // the list ever reaches.
    if (!m_storage) m_storage.reset(new std::uint8_t[m_capacity]);
    if (length > 0xFFFF || senderAddress.size() >= kAddressField) {
        ++m_dropped;
        return false;
    }
    if (m_capacity - m_end < entry && m_begin > 0) {
        // Rare: only when datagrams pile up over many ticks. Slide the waiting ones down.
        std::memmove(m_storage.get(), m_storage.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_capacity - m_end < entry) {
        ++m_dropped;
        return false;
    }
    std::uint8_t* at = m_storage.get() + m_end;
    WriteU16(at, length);
    WriteU16(at + 2, senderPort);
    std::memset(at + 4, 0, kAddressField);
    std::memcpy(at + 4, senderAddress.data(), senderAddress.size());
    if (length > 0) std::memcpy(at + kHeader, bytes, length);
    m_end += entry;
    ++m_count;
    return true;
}

bool PendingDatagrams::Pop(std::uint8_t* buffer, std::size_t capacity, Datagram& out) {
    if (Empty()) return false;
    const std::uint8_t* at = m_storage.get() + m_begin;
    const std::size_t length = ReadU16(at);
    const std::size_t copied = length < capacity ? length : capacity;
    std::memcpy(buffer, at + kHeader, copied);
    out.bytes = buffer;
    out.length = copied;
    out.senderPort = ReadU16(at + 2);
    out.senderAddress.assign(reinterpret_cast<const char*>(at + 4));
    m_begin += kHeader + length;
    --m_count;
    // Start again from the front whenever the list empties, as it does on nearly every tick.
    if (m_begin == m_end) m_begin = m_end = 0;
    return true;
}

}  // namespace net
