#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <numeric>
#include <tuple>
#include <utility>
#include <vector>

#include "protocol/NodeProtocol.h"

namespace {

using protocol::DmxBuffer;
using protocol::DmxDataFields;
using protocol::PollReplyMessage;

using Bytes = std::vector<std::uint8_t>;

// Every byte of a reply differs from its neighbours, so a field read from the wrong
// offset shows up as the wrong value.
Bytes NumberedReply(std::size_t length) {
    Bytes bytes(length);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0x40});
    bytes[0] = 'V';
    bytes[1] = 'X';
    bytes[2] = 'P';
    bytes[3] = 'R';
    return bytes;
}

testing::AssertionResult SameReply(const PollReplyMessage& a, const PollReplyMessage& b) {
    const auto fields = [](const PollReplyMessage& m) {
        return std::tie(m.mac, m.nodeType, m.version, m.switches, m.name, m.options,
                        m.typeOfService, m.ttl, m.listenTo, m.listenAddress, m.universe);
    };
    if (fields(a) == fields(b)) return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "replies differ (names '" << a.name << "' and '" << b.name << "')";
}

TEST(PollMessage, IsTheCodeFollowedByOne) {
    const Bytes expected{'V', 'X', 'P', 'P', 0x01};
    EXPECT_EQ(Bytes(protocol::kPollMessage.begin(), protocol::kPollMessage.end()), expected);
}

TEST(HasCode, MatchesOnlyWholeCodeAtStart) {
    const Bytes reply{'V', 'X', 'P', 'R', 0};
    EXPECT_TRUE(protocol::HasCode(reply, protocol::kCodePollReply));
    EXPECT_TRUE(protocol::HasCode(std::span(reply).first(4), protocol::kCodePollReply));
    EXPECT_FALSE(protocol::HasCode(std::span(reply).first(3), protocol::kCodePollReply));
    EXPECT_FALSE(protocol::HasCode(reply, protocol::kCodePoll));
    EXPECT_FALSE(protocol::HasCode(Bytes{}, protocol::kCodePollReply));
}

// ---- ClassifyDatagram --------------------------------------------------------------------

Bytes Coded(const char* code, std::size_t length) {
    Bytes bytes(length, 0x20);
    std::copy(code, code + 4, bytes.begin());
    return bytes;
}

TEST(ClassifyDatagram, ByLengthThenByCode) {
    using protocol::DatagramKind;
    const std::pair<Bytes, DatagramKind> cases[]{
        {{}, DatagramKind::Empty},
        {{'V', 'X', 'P'}, DatagramKind::Short},
        {Coded("VXPP", 5), DatagramKind::Poll},
        {Coded("VXDD", 522), DatagramKind::DmxData},
        {Coded("VXPR", 4), DatagramKind::PollReply},
        {Coded("VXPR", 600), DatagramKind::PollReply},
        {Coded("VXPR", 601), DatagramKind::Oversized},
        {Coded("VXAP", 4), DatagramKind::Unexpected},
        {Coded("VXZZ", 4), DatagramKind::NeverSeen},
        {Coded("XVCN", 9), DatagramKind::NeverSeen},
        {Coded("vxpp", 5), DatagramKind::UnknownCode},
        {Coded("VXP\0", 4), DatagramKind::UnknownCode},
    };
    for (const auto& [bytes, kind] : cases) {
        EXPECT_EQ(protocol::ClassifyDatagram(bytes), kind) << bytes.size() << " bytes";
    }
}

// ---- ReadPollReply -----------------------------------------------------------------------

TEST(ReadPollReply, NeedsThirtyThreeBytes) {
    const Bytes full = NumberedReply(protocol::kPollReplyLength);
    EXPECT_FALSE(protocol::ReadPollReply(Bytes{}).has_value());
    EXPECT_FALSE(protocol::ReadPollReply(std::span(full).first(4)).has_value());
    EXPECT_FALSE(protocol::ReadPollReply(std::span(full).first(32)).has_value());
    EXPECT_TRUE(protocol::ReadPollReply(full).has_value());
}

TEST(ReadPollReply, ReadsEveryFieldAtItsOffset) {
    Bytes bytes = NumberedReply(protocol::kPollReplyLength);
    bytes[23] = 0;  // ends the name after nine bytes so every later byte is a field of its own
    const auto reply = protocol::ReadPollReply(bytes);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->mac, (std::array<std::uint8_t, 6>{0x44, 0x45, 0x46, 0x47, 0x48, 0x49}));
    EXPECT_EQ(reply->nodeType, (std::array<std::uint8_t, 2>{0x4A, 0x4B}));
    EXPECT_EQ(reply->version, 0x4C);
    EXPECT_EQ(reply->switches, 0x4D);
    EXPECT_EQ(reply->name, "NOPQRSTUV");
    EXPECT_EQ(reply->options, 0x58);
    EXPECT_EQ(reply->typeOfService, 0x59);
    EXPECT_EQ(reply->ttl, 0x5A);
    EXPECT_EQ(reply->listenTo, 0x5B);
    EXPECT_EQ(reply->listenAddress, (std::array<std::uint8_t, 4>{0x5C, 0x5D, 0x5E, 0x5F}));
    EXPECT_EQ(reply->universe, 0x60);
}

TEST(ReadPollReply, IgnoresBytesPastTheUniverse) {
    Bytes longer = NumberedReply(protocol::kPollReplyLength + 20);
    const Bytes exact(longer.begin(), longer.begin() + protocol::kPollReplyLength);
    const auto fromExact = protocol::ReadPollReply(exact);
    const auto fromLonger = protocol::ReadPollReply(longer);
    ASSERT_TRUE(fromExact && fromLonger);
    EXPECT_TRUE(SameReply(*fromExact, *fromLonger));
    EXPECT_EQ(fromLonger->universe, 0x60);
}

struct NameCase {
    const char* label;
    std::array<std::uint8_t, protocol::kNodeNameLength> field;
    std::string expected;
};
// Without a printer GoogleTest dumps the raw bytes, padding included.
void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.label;
}

class ReadPollReplyName : public testing::TestWithParam<NameCase> {};

TEST_P(ReadPollReplyName, StopsAtFirstZeroAndAtTenBytes) {
    Bytes bytes = NumberedReply(protocol::kPollReplyLength);
    std::copy(GetParam().field.begin(), GetParam().field.end(), bytes.begin() + 14);
    bytes[24] = 'X';  // a printable options byte must never be taken for an eleventh letter
    const auto reply = protocol::ReadPollReply(bytes);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->name, GetParam().expected);
    EXPECT_EQ(reply->options, 'X');
}

INSTANTIATE_TEST_SUITE_P(
    Names, ReadPollReplyName,
    testing::Values(
        NameCase{"Short", {'N', 'o', 'd', 'e', 0, 'J', 'U', 'N', 'K', '!'}, "Node"},
        NameCase{"FullTenNoZero", {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J'}, "ABCDEFGHIJ"},
        NameCase{"NineThenZero", {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 0}, "ABCDEFGHI"},
        NameCase{"LeadingZero", {0, 'h', 'i', 'd', 'd', 'e', 'n', 0, 0, 0}, ""},
        NameCase{"AllZero", {}, ""},
        NameCase{"HighBytesKept",
                 {0x80, 0xC3, 0xA9, 0xFF, 0x7F, 0, 0, 0, 0, 0},
                 std::string("\x80\xC3\xA9\xFF\x7F")}),
    [](const testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

// ---- WritePollReply ----------------------------------------------------------------------

PollReplyMessage SampleReply() {
    PollReplyMessage reply;
    reply.mac = {0x00, 0x50, 0xC2, 0x12, 0x34, 0xFE};
    reply.nodeType = {0x81, 0x02};
    reply.version = 0x13;
    reply.switches = 0xA5;
    reply.name = "Stage-L\xE9";
    reply.options = protocol::kOptionConfigured | protocol::kOptionErrorCorrection;
    reply.typeOfService = 0x10;
    reply.ttl = 64;
    reply.listenTo = 2;
    reply.listenAddress = {192, 168, 7, 255};
    reply.universe = 0xFF;
    return reply;
}

TEST(WritePollReply, LaysOutTheExactBytes) {
    const Bytes expected{'V',  'X',  'P',  'R',  0x00, 0x50, 0xC2, 0x12, 0x34, 0xFE, 0x81,
                         0x02, 0x13, 0xA5, 'S',  't',  'a',  'g',  'e',  '-',  'L',  0xE9,
                         0,    0,    0x05, 0x10, 64,   2,    192,  168,  7,    255,  0xFF};
    const auto bytes = protocol::WritePollReply(SampleReply());
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), expected);
}

TEST(WritePollReply, RoundTripsThroughRead) {
    const PollReplyMessage original = SampleReply();
    const auto bytes = protocol::WritePollReply(original);
    const auto read = protocol::ReadPollReply(bytes);
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(SameReply(*read, original));
}

TEST(WritePollReply, CutsLongNamesToTenBytesWithoutTouchingOptions) {
    PollReplyMessage reply = SampleReply();
    reply.name = "ABCDEFGHIJKLMNOP";
    const auto bytes = protocol::WritePollReply(reply);
    EXPECT_EQ(std::string(bytes.begin() + 14, bytes.begin() + 24), "ABCDEFGHIJ");
    EXPECT_EQ(bytes[24], reply.options);
    const auto read = protocol::ReadPollReply(bytes);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->name, "ABCDEFGHIJ");
}

// ---- BuildDmxData ------------------------------------------------------------------------

// Guard bytes either side show any write outside the buffer.
struct GuardedBuffer {
    std::array<std::uint8_t, 32> before;
    DmxBuffer buffer;
    std::array<std::uint8_t, 32> after;

    GuardedBuffer() {
        before.fill(0xAA);
        buffer.fill(0xAA);
        after.fill(0xAA);
    }
    bool GuardsIntact() const {
        const auto isAA = [](std::uint8_t b) { return b == 0xAA; };
        return std::all_of(before.begin(), before.end(), isAA) &&
               std::all_of(after.begin(), after.end(), isAA);
    }
};
static_assert(sizeof(GuardedBuffer) == 64 + protocol::kDmxBufferLength);

TEST(BuildDmxData, FullUniverseIsTheExactMessage) {
    GuardedBuffer guarded;
    DmxDataFields fields;
    fields.universe = 1;
    fields.startCode = 0;
    fields.dataType = static_cast<std::uint8_t>(protocol::DmxDataType::Raw);
    fields.channelCount = 512;
    fields.level = 255;

    Bytes expected{'V', 'X', 'D', 'D', 0x00, 0x00, 0x01, 0x02, 0x00};
    expected.insert(expected.end(), 512, 0xFF);
    expected.push_back(0x00);
    ASSERT_EQ(expected.size(), 522u);

    ASSERT_EQ(protocol::BuildDmxData(fields, guarded.buffer), 522u);
    EXPECT_EQ(Bytes(guarded.buffer.begin(), guarded.buffer.end()), expected);
    EXPECT_TRUE(guarded.GuardsIntact());
}

TEST(BuildDmxData, OneChannelEndsInTheZeroTrailer) {
    GuardedBuffer guarded;
    DmxDataFields fields;
    fields.universe = 3;
    fields.startCode = 0xCC;
    fields.dataType = static_cast<std::uint8_t>(protocol::DmxDataType::ChannelValue);
    fields.channelCount = 1;
    fields.level = 0x7F;

    ASSERT_EQ(protocol::BuildDmxData(fields, guarded.buffer), 11u);
    const Bytes expected{'V', 'X', 'D', 'D', 0x02, 0xCC, 0x02, 0x00, 0x01, 0x7F, 0x00};
    EXPECT_EQ(Bytes(guarded.buffer.begin(), guarded.buffer.begin() + 11), expected);
    EXPECT_TRUE(std::all_of(guarded.buffer.begin() + 11, guarded.buffer.end(), [](std::uint8_t b) {
        return b == 0;
    })) << "bytes after the message keep what was in the buffer before";
    EXPECT_TRUE(guarded.GuardsIntact());
}

struct DmxCase {
    int universe;
    int startCode;
    std::uint8_t dataType;
    int channelCount;
    std::uint8_t level;
    Bytes header;  // the nine bytes on the wire before the levels
};
// Without a printer GoogleTest dumps the raw bytes, padding included.
void PrintTo(const DmxCase& c, std::ostream* os) {
    *os << c.universe << '/' << c.startCode << '/' << int{c.dataType} << '/' << c.channelCount
        << '/' << int{c.level};
}

class BuildDmxDataFields : public testing::TestWithParam<DmxCase> {};

TEST_P(BuildDmxDataFields, HeaderDataTrailerAndZeroedRest) {
    const DmxCase& c = GetParam();
    GuardedBuffer guarded;
    DmxDataFields fields;
    fields.universe = c.universe;
    fields.startCode = c.startCode;
    fields.dataType = c.dataType;
    fields.channelCount = c.channelCount;
    fields.level = c.level;

    const std::size_t length = protocol::BuildDmxData(fields, guarded.buffer);
    const auto count = static_cast<std::size_t>(c.channelCount);
    ASSERT_EQ(length, count + 10);

    Bytes expected = c.header;
    expected.insert(expected.end(), count, c.level);
    expected.resize(protocol::kDmxBufferLength, 0x00);  // trailer and everything after it
    EXPECT_EQ(Bytes(guarded.buffer.begin(), guarded.buffer.end()), expected);
    EXPECT_TRUE(guarded.GuardsIntact());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BuildDmxDataFields,
    testing::Values(
        DmxCase{1, 0, 1, 512, 0xFF, {'V', 'X', 'D', 'D', 0x00, 0x00, 0x01, 0x02, 0x00}},
        DmxCase{256, 255, 4, 512, 0x01, {'V', 'X', 'D', 'D', 0xFF, 0xFF, 0x04, 0x02, 0x00}},
        DmxCase{2, 0x17, 2, 255, 0x80, {'V', 'X', 'D', 'D', 0x01, 0x17, 0x02, 0x00, 0xFF}},
        DmxCase{17, 0xCC, 0, 256, 0x00, {'V', 'X', 'D', 'D', 0x10, 0xCC, 0x00, 0x01, 0x00}},
        DmxCase{128, 1, 1, 257, 0xAB, {'V', 'X', 'D', 'D', 0x7F, 0x01, 0x01, 0x01, 0x01}},
        DmxCase{255, 254, 1, 511, 0x55, {'V', 'X', 'D', 'D', 0xFE, 0xFE, 0x01, 0x01, 0xFF}},
        DmxCase{10, 0, 1, 24, 0xAA, {'V', 'X', 'D', 'D', 0x09, 0x00, 0x01, 0x00, 0x18}},
        DmxCase{1, 0, 1, 1, 0x00, {'V', 'X', 'D', 'D', 0x00, 0x00, 0x01, 0x00, 0x01}}));

TEST(BuildDmxData, UniverseIsSentLessOne) {
    for (const auto& [setting, wire] :
         {std::pair{1, 0x00}, std::pair{2, 0x01}, std::pair{128, 0x7F}, std::pair{256, 0xFF}}) {
        DmxBuffer buffer;
        DmxDataFields fields;
        fields.universe = setting;
        protocol::BuildDmxData(fields, buffer);
        EXPECT_EQ(buffer[4], wire) << "universe " << setting;
    }
}

class BuildDmxDataChannelRange : public testing::TestWithParam<std::pair<int, std::size_t>> {};

TEST_P(BuildDmxDataChannelRange, NeverOverrunsTheBuffer) {
    const auto [requested, channels] = GetParam();
    GuardedBuffer guarded;
    DmxDataFields fields;
    fields.channelCount = requested;
    fields.level = 0x5A;
    ASSERT_EQ(protocol::BuildDmxData(fields, guarded.buffer), channels + 10);
    const Bytes countBytes = channels == 512 ? Bytes{0x02, 0x00} : Bytes{0x00, 0x01};
    EXPECT_EQ(Bytes(guarded.buffer.begin() + 7, guarded.buffer.begin() + 9), countBytes);
    const auto data = guarded.buffer.begin() + 9;
    EXPECT_EQ(std::count(data, data + static_cast<std::ptrdiff_t>(channels), 0x5A),
              static_cast<std::ptrdiff_t>(channels));
    EXPECT_TRUE(std::all_of(data + static_cast<std::ptrdiff_t>(channels), guarded.buffer.end(),
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(guarded.GuardsIntact());
}

INSTANTIATE_TEST_SUITE_P(
    OutOfRange, BuildDmxDataChannelRange,
    testing::Values(std::pair{0, std::size_t{1}}, std::pair{-1, std::size_t{1}},
                    std::pair{INT_MIN, std::size_t{1}}, std::pair{513, std::size_t{512}},
                    std::pair{1000, std::size_t{512}}, std::pair{65536 + 3, std::size_t{512}},
                    std::pair{INT_MAX, std::size_t{512}}));

// ---- ReadDmxData -------------------------------------------------------------------------

TEST(ReadDmxData, RoundTripsABuiltMessage) {
    DmxBuffer buffer;
    DmxDataFields fields;
    fields.universe = 200;
    fields.startCode = 0x91;
    fields.dataType = static_cast<std::uint8_t>(protocol::DmxDataType::RunLength);
    fields.channelCount = 300;
    fields.level = 0x3C;
    const std::size_t length = protocol::BuildDmxData(fields, buffer);

    const auto view = protocol::ReadDmxData(std::span(buffer).first(length));
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->universe, 199);
    EXPECT_EQ(view->startCode, 0x91);
    EXPECT_EQ(view->dataType, 4);
    EXPECT_EQ(view->channelCount, 300);
    ASSERT_EQ(view->data.size(), 300u);
    EXPECT_EQ(view->data.data(), buffer.data() + 9);
    EXPECT_TRUE(std::all_of(view->data.begin(), view->data.end(),
                            [](std::uint8_t b) { return b == 0x3C; }));
}

TEST(ReadDmxData, AcceptsAMessageWithoutTheTrailer) {
    const Bytes bytes{'V', 'X', 'D', 'D', 5, 0, 1, 0x00, 0x03, 10, 20, 30};
    const auto view = protocol::ReadDmxData(bytes);
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->universe, 5);
    EXPECT_EQ(Bytes(view->data.begin(), view->data.end()), (Bytes{10, 20, 30}));
}

TEST(ReadDmxData, RejectsShortAndForeignDatagrams) {
    DmxBuffer buffer;
    DmxDataFields fields;
    fields.channelCount = 512;
    protocol::BuildDmxData(fields, buffer);
    const std::span<const std::uint8_t> message(buffer);

    EXPECT_FALSE(protocol::ReadDmxData({}).has_value());
    EXPECT_FALSE(protocol::ReadDmxData(message.first(3)).has_value());
    EXPECT_FALSE(protocol::ReadDmxData(message.first(4)).has_value()) << "code only";
    EXPECT_FALSE(protocol::ReadDmxData(message.first(8)).has_value()) << "half a count";
    EXPECT_FALSE(protocol::ReadDmxData(message.first(9 + 511)).has_value()) << "one short";
    EXPECT_TRUE(protocol::ReadDmxData(message.first(9 + 512)).has_value());

    for (const auto& code :
         {protocol::kCodePoll, protocol::kCodePollReply, protocol::MessageCode{'v', 'x', 'd', 'd'},
          protocol::MessageCode{'V', 'X', 'D', 0}}) {
        DmxBuffer foreign = buffer;
        std::copy(code.begin(), code.end(), foreign.begin());
        EXPECT_FALSE(protocol::ReadDmxData(foreign).has_value());
    }
}

TEST(ReadDmxData, HeaderWithZeroChannelsHasNoData) {
    const Bytes bytes{'V', 'X', 'D', 'D', 0, 0, 1, 0, 0};
    const auto view = protocol::ReadDmxData(bytes);
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->channelCount, 0);
    EXPECT_TRUE(view->data.empty());
}

}  // namespace
