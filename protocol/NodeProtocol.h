// Message codes and byte layouts of the node protocol on UDP port 3333.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace protocol {

inline constexpr std::uint16_t kNodePort = 3333;

using MessageCode = std::array<std::uint8_t, 4>;

inline constexpr MessageCode kCodePoll{'V', 'X', 'P', 'P'};
inline constexpr MessageCode kCodePollReply{'V', 'X', 'P', 'R'};
inline constexpr MessageCode kCodeDmxData{'V', 'X', 'D', 'D'};
inline constexpr MessageCode kCodeUnexpected{'V', 'X', 'A', 'P'};
inline constexpr MessageCode kCodeNeverSeen{'V', 'X', 'Z', 'Z'};
// The prefix letters swapped, then "CN": handled like VXZZ.
inline constexpr MessageCode kCodeLegacyNeverSeen{'X', 'V', 'C', 'N'};

inline constexpr std::size_t kCodeLength = 4;
// The program's read buffer: anything longer is no message of this protocol and is dropped whole.
inline constexpr std::size_t kLongestDatagram = 600;

// What a datagram on the node port is, by its length and its code. The order is the one in which
// praveltest-cli counts what it ignored.
enum class DatagramKind {
    Empty,
    Short,      // fewer bytes than a code
    Oversized,  // longer than kLongestDatagram
    Poll,
    DmxData,
    PollReply,  // whatever its length; ReadPollReply says whether it holds a whole reply
    Unexpected,
    NeverSeen,  // VXZZ, or its legacy spelling
    UnknownCode,
};
inline constexpr std::size_t kDatagramKinds = 9;

DatagramKind ClassifyDatagram(std::span<const std::uint8_t> datagram);

// The poll never changes, so one constant copy is sent as it is.
inline constexpr std::array<std::uint8_t, 5> kPollMessage{'V', 'X', 'P', 'P', 0x01};

inline constexpr std::size_t kPollReplyLength = 33;
inline constexpr std::size_t kNodeNameLength = 10;

struct PollReplyMessage {
    std::array<std::uint8_t, 6> mac{};
    std::array<std::uint8_t, 2> nodeType{};
    std::uint8_t version = 0;
    std::uint8_t switches = 0;
    std::string name;  // up to the first zero byte, at most 10 bytes
    std::uint8_t options = 0;
    std::uint8_t typeOfService = 0;
    std::uint8_t ttl = 0;
    std::uint8_t listenTo = 0;
    std::array<std::uint8_t, 4> listenAddress{};
    std::uint8_t universe = 0;
};

inline constexpr std::uint8_t kOptionConfigured = 0x01;
inline constexpr std::uint8_t kOptionDhcp = 0x02;
inline constexpr std::uint8_t kOptionErrorCorrection = 0x04;

// True when the datagram starts with the given code; shorter datagrams never match.
bool HasCode(std::span<const std::uint8_t> datagram, const MessageCode& code);

// Nothing for fewer than 33 bytes; bytes past offset 32 are ignored.
std::optional<PollReplyMessage> ReadPollReply(std::span<const std::uint8_t> datagram);

// The name of a poll reply of at least 33 bytes, as bytes into the datagram; nothing for any
// other datagram. The device tree finds a node's entry by exactly these bytes.
std::optional<std::string_view> PollReplyName(std::span<const std::uint8_t> datagram);

// The 33-byte wire form of a reply, as a node sends it.
std::array<std::uint8_t, kPollReplyLength> WritePollReply(const PollReplyMessage& reply);

inline constexpr std::size_t kMaxChannels = 512;
inline constexpr std::size_t kDmxHeaderLength = 9;
inline constexpr std::size_t kDmxBufferLength = kDmxHeaderLength + kMaxChannels + 1;  // 522

enum class DmxDataType : std::uint8_t {
    Invalid = 0,
    Raw = 1,
    ChannelValue = 2,
    RunLength = 4,
};

struct DmxDataFields {
    int universe = 1;   // 1 to 256; sent as universe - 1
    int startCode = 0;  // 0 to 255
    std::uint8_t dataType = static_cast<std::uint8_t>(DmxDataType::Raw);
    int channelCount = 512;  // 1 to 512
    std::uint8_t level = 0;
};

using DmxBuffer = std::array<std::uint8_t, kDmxBufferLength>;

// Zeroes the buffer, lays out the message and returns its length, channelCount + 10.
// The caller keeps the fields in range; out-of-range values are clamped so the
// buffer is never overrun.
std::size_t BuildDmxData(const DmxDataFields& fields, DmxBuffer& buffer);

// A received DMX data message, as a node reads it.
struct DmxDataView {
    std::uint8_t universe = 0;
    std::uint8_t startCode = 0;
    std::uint8_t dataType = 0;
    std::uint16_t channelCount = 0;
    std::span<const std::uint8_t> data;
};

// Nothing when the code is not VXDD or the datagram is shorter than its channel count says.
std::optional<DmxDataView> ReadDmxData(std::span<const std::uint8_t> datagram);

}  // namespace protocol
