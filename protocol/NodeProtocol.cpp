#include "protocol/NodeProtocol.h"

#include <algorithm>
#include <cstring>

namespace protocol {
namespace {

constexpr std::size_t kMacOffset = 4;
constexpr std::size_t kNodeTypeOffset = 10;
constexpr std::size_t kVersionOffset = 12;
constexpr std::size_t kSwitchesOffset = 13;
constexpr std::size_t kNameOffset = 14;
constexpr std::size_t kOptionsOffset = 24;
constexpr std::size_t kTypeOfServiceOffset = 25;
constexpr std::size_t kTtlOffset = 26;
constexpr std::size_t kListenToOffset = 27;
constexpr std::size_t kListenAddressOffset = 28;
constexpr std::size_t kUniverseOffset = 32;

constexpr std::size_t kDmxUniverseOffset = 4;
constexpr std::size_t kDmxStartCodeOffset = 5;
constexpr std::size_t kDmxDataTypeOffset = 6;
constexpr std::size_t kDmxCountOffset = 7;

}  // namespace

bool HasCode(std::span<const std::uint8_t> datagram, const MessageCode& code) {
    return datagram.size() >= kCodeLength && std::equal(code.begin(), code.end(), datagram.begin());
}

DatagramKind ClassifyDatagram(std::span<const std::uint8_t> datagram) {
    if (datagram.empty()) return DatagramKind::Empty;
    if (datagram.size() < kCodeLength) return DatagramKind::Short;
    if (datagram.size() > kLongestDatagram) return DatagramKind::Oversized;
    if (HasCode(datagram, kCodePoll)) return DatagramKind::Poll;
    if (HasCode(datagram, kCodeDmxData)) return DatagramKind::DmxData;
    if (HasCode(datagram, kCodePollReply)) return DatagramKind::PollReply;
    if (HasCode(datagram, kCodeUnexpected)) return DatagramKind::Unexpected;
    if (HasCode(datagram, kCodeNeverSeen) || HasCode(datagram, kCodeLegacyNeverSeen)) {
        return DatagramKind::NeverSeen;
    }
    return DatagramKind::UnknownCode;
}

std::optional<PollReplyMessage> ReadPollReply(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < kPollReplyLength) return std::nullopt;
    const std::uint8_t* bytes = datagram.data();
    PollReplyMessage reply;
    std::copy_n(bytes + kMacOffset, reply.mac.size(), reply.mac.begin());
    std::copy_n(bytes + kNodeTypeOffset, reply.nodeType.size(), reply.nodeType.begin());
    reply.version = bytes[kVersionOffset];
    reply.switches = bytes[kSwitchesOffset];
    const std::uint8_t* name = bytes + kNameOffset;
    const std::uint8_t* nameEnd = std::find(name, name + kNodeNameLength, std::uint8_t{0});
    reply.name.assign(name, nameEnd);
    reply.options = bytes[kOptionsOffset];
    reply.typeOfService = bytes[kTypeOfServiceOffset];
    reply.ttl = bytes[kTtlOffset];
    reply.listenTo = bytes[kListenToOffset];
    std::copy_n(bytes + kListenAddressOffset, reply.listenAddress.size(),
                reply.listenAddress.begin());
    reply.universe = bytes[kUniverseOffset];
    return reply;
}

std::optional<std::string_view> PollReplyName(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < kPollReplyLength || !HasCode(datagram, kCodePollReply)) {
        return std::nullopt;
    }
    const auto* name = reinterpret_cast<const char*>(datagram.data() + kNameOffset);
    return std::string_view(name, std::find(name, name + kNodeNameLength, '\0') - name);
}

std::array<std::uint8_t, kPollReplyLength> WritePollReply(const PollReplyMessage& reply) {
    std::array<std::uint8_t, kPollReplyLength> bytes{};
    std::copy(kCodePollReply.begin(), kCodePollReply.end(), bytes.begin());
    std::copy(reply.mac.begin(), reply.mac.end(), bytes.begin() + kMacOffset);
    std::copy(reply.nodeType.begin(), reply.nodeType.end(), bytes.begin() + kNodeTypeOffset);
    bytes[kVersionOffset] = reply.version;
    bytes[kSwitchesOffset] = reply.switches;
    const std::size_t nameLength = std::min(reply.name.size(), kNodeNameLength);
    std::memcpy(bytes.data() + kNameOffset, reply.name.data(), nameLength);
    bytes[kOptionsOffset] = reply.options;
    bytes[kTypeOfServiceOffset] = reply.typeOfService;
    bytes[kTtlOffset] = reply.ttl;
    bytes[kListenToOffset] = reply.listenTo;
    std::copy(reply.listenAddress.begin(), reply.listenAddress.end(),
              bytes.begin() + kListenAddressOffset);
    bytes[kUniverseOffset] = reply.universe;
    return bytes;
}

std::size_t BuildDmxData(const DmxDataFields& fields, DmxBuffer& buffer) {
    const int channels = std::clamp(fields.channelCount, 1, static_cast<int>(kMaxChannels));
    buffer.fill(0);
    std::copy(kCodeDmxData.begin(), kCodeDmxData.end(), buffer.begin());
    buffer[kDmxUniverseOffset] = static_cast<std::uint8_t>(fields.universe - 1);
    buffer[kDmxStartCodeOffset] = static_cast<std::uint8_t>(fields.startCode);
    buffer[kDmxDataTypeOffset] = fields.dataType;
    buffer[kDmxCountOffset] = static_cast<std::uint8_t>(channels >> 8);
    buffer[kDmxCountOffset + 1] = static_cast<std::uint8_t>(channels & 0xFF);
    std::memset(buffer.data() + kDmxHeaderLength, fields.level, static_cast<std::size_t>(channels));
    return static_cast<std::size_t>(channels) + kDmxHeaderLength + 1;
}

std::optional<DmxDataView> ReadDmxData(std::span<const std::uint8_t> datagram) {
    if (!HasCode(datagram, kCodeDmxData) || datagram.size() < kDmxHeaderLength) return std::nullopt;
    DmxDataView view;
    view.universe = datagram[kDmxUniverseOffset];
    view.startCode = datagram[kDmxStartCodeOffset];
    view.dataType = datagram[kDmxDataTypeOffset];
    view.channelCount =
        static_cast<std::uint16_t>(datagram[kDmxCountOffset] << 8 | datagram[kDmxCountOffset + 1]);
    if (datagram.size() < kDmxHeaderLength + view.channelCount) return std::nullopt;
    view.data = datagram.subspan(kDmxHeaderLength, view.channelCount);
    return view;
}

}  // namespace protocol
