#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/PendingDatagrams.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Taken {
    Bytes bytes;
    std::string address;
    std::uint16_t port;
    bool operator==(const Taken&) const = default;
};

void PrintTo(const Taken& taken, std::ostream* os) {
    *os << taken.address << ':' << taken.port << " +" << taken.bytes.size() << " bytes";
}

bool Push(net::PendingDatagrams& list, const Bytes& bytes, const std::string& address,
          std::uint16_t port) {
    return list.Push(bytes.data(), bytes.size(), protocol::ClassifyDatagram(bytes), address, port);
}

std::optional<Taken> TakeOne(net::PendingDatagrams& list) {
    std::uint8_t buffer[600];
    net::PendingDatagrams::Datagram datagram;
    if (!list.Pop(buffer, sizeof buffer, datagram)) return std::nullopt;
    // The kind travels with the datagram, through replacements and slides alike.
    EXPECT_EQ(datagram.kind, protocol::ClassifyDatagram({datagram.bytes, datagram.length}));
    return Taken{Bytes(datagram.bytes, datagram.bytes + datagram.length), datagram.senderAddress,
                 datagram.senderPort};
}

std::vector<Taken> TakeAll(net::PendingDatagrams& list) {
    std::vector<Taken> taken;
    while (auto one = TakeOne(list)) taken.push_back(std::move(*one));
    return taken;
}

// Each entry takes 21 bytes besides its datagram, so 100 bytes hold two of 29.
TEST(PendingDatagrams, KeepsArrivalOrderWithinItsBoundAndCountsWhatItDrops) {
    net::PendingDatagrams list(100, 600);
    const Bytes a(29, 0xAA), b(29, 0xBB), c(29, 0xCC), d(10, 0xDD);
    EXPECT_TRUE(Push(list, a, "10.1.2.4", 3333));
    EXPECT_TRUE(Push(list, b, "255.255.255.255", 65535));
    EXPECT_FALSE(Push(list, c, "10.1.2.6", 1));
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.Dropped(), 1u);

    // Taking the first makes room at the front, which the next push slides down to reach.
    std::uint8_t buffer[600];
    net::PendingDatagrams::Datagram first;
    ASSERT_TRUE(list.Pop(buffer, sizeof buffer, first));
    EXPECT_EQ(Bytes(first.bytes, first.bytes + first.length), a);
    EXPECT_TRUE(Push(list, c, "10.1.2.6", 1));
    EXPECT_FALSE(Push(list, d, "10.1.2.7", 2));
    EXPECT_EQ(list.Dropped(), 2u);

    EXPECT_EQ(TakeAll(list),
              (std::vector<Taken>{{b, "255.255.255.255", 65535}, {c, "10.1.2.6", 1}}));
    EXPECT_TRUE(list.Empty());
    // Emptied, the whole room is there again.
    EXPECT_TRUE(Push(list, a, "10.1.2.4", 3333));
    EXPECT_TRUE(Push(list, Bytes{}, "10.1.2.5", 7));
    EXPECT_EQ(TakeAll(list), (std::vector<Taken>{{a, "10.1.2.4", 3333}, {{}, "10.1.2.5", 7}}));
}

}  // namespace

namespace {

// A 33-byte reply under the given name (ten bytes, zero-padded), told apart by its marker.
Bytes NamedReply(std::string_view name, std::uint8_t marker, std::size_t length = 33) {
    Bytes bytes(length, marker);
    const std::string_view code = "VXPR";
    std::copy(code.begin(), code.end(), bytes.begin());
    std::fill(bytes.begin() + 14, bytes.begin() + 24, 0);
    std::copy(name.begin(), name.end(), bytes.begin() + 14);
    return bytes;
}

// Pushes, each from its own sender port; 0 in place of a datagram takes one off the list.
struct Step {
    Bytes bytes;
    std::uint16_t port = 0;
};
constexpr std::uint16_t kTake = 0;

struct CoalesceCase {
    const char* label;
    std::size_t capacity;
    std::vector<Step> steps;
    std::vector<Taken> taken;  // every datagram taken, in order, the steps' then the rest
    std::size_t peak;
};
void PrintTo(const CoalesceCase& c, std::ostream* os) {
    *os << c.label;
}

const Bytes kReport = {'V', 'X', 'Z', 'Z'};
const Bytes kShortReply = {'V', 'X', 'P', 'R', 'A', 'B'};

const CoalesceCase kCoalesceCases[] = {
    {"ANewerReplyTakesTheOlderOnesPlace",
     4096,
     {{NamedReply("A", 1), 1}, {NamedReply("B", 2), 2}, {NamedReply("A", 3), 3}},
     {{NamedReply("A", 3), "10.1.2.9", 3}, {NamedReply("B", 2), "10.1.2.9", 2}},
     2},
    {"NamesDifferingInCaseStayApart",
     4096,
     {{NamedReply("Node", 1), 1}, {NamedReply("node", 2), 2}},
     {{NamedReply("Node", 1), "10.1.2.9", 1}, {NamedReply("node", 2), "10.1.2.9", 2}},
     2},
    {"BytesAfterTheNamesZeroDoNotCount",
     4096,
     {{NamedReply(std::string_view("AB\0X", 4), 1), 1},
      {NamedReply(std::string_view("AB\0Y", 4), 2), 2}},
     {{NamedReply(std::string_view("AB\0Y", 4), 2), "10.1.2.9", 2}},
     1},
    {"ALongerReplyFitsTheShorterOnesPlace",
     4096,
     {{NamedReply("A", 1), 1}, {NamedReply("B", 2), 2}, {NamedReply("A", 3, 600), 3}},
     {{NamedReply("A", 3, 600), "10.1.2.9", 3}, {NamedReply("B", 2), "10.1.2.9", 2}},
     2},
    {"ReportsAndShortRepliesKeepTheirOwnPlaces",
     4096,
     {{kReport, 1},
      {NamedReply("A", 2), 2},
      {kShortReply, 3},
      {kReport, 4},
      {kShortReply, 5},
      {NamedReply("A", 6), 6}},
     {{kReport, "10.1.2.9", 1},
      {NamedReply("A", 6), "10.1.2.9", 6},
      {kShortReply, "10.1.2.9", 3},
      {kReport, "10.1.2.9", 4},
      {kShortReply, "10.1.2.9", 5}},
     5},
    {"ANameTakenOffQueuesAgainAtTheEnd",
     4096,
     {{NamedReply("A", 1), 1}, {NamedReply("B", 2), 2}, {{}, kTake}, {NamedReply("A", 3), 3}},
     {{NamedReply("A", 1), "10.1.2.9", 1},
      {NamedReply("B", 2), "10.1.2.9", 2},
      {NamedReply("A", 3), "10.1.2.9", 3}},
     2},
    // Two replies' room (21 + 600 bytes each) and a little: the third push slides B down to
    // the front, and B's next reply must still find it there.
    {"AReplyIsFoundAfterTheListSlidDown",
     1500,
     {{NamedReply("A", 1), 1},
      {NamedReply("B", 2), 2},
      {{}, kTake},
      {NamedReply("C", 3), 3},
      {NamedReply("B", 4), 4}},
     {{NamedReply("A", 1), "10.1.2.9", 1},
      {NamedReply("B", 4), "10.1.2.9", 4},
      {NamedReply("C", 3), "10.1.2.9", 3}},
     2},
};

class Coalescing : public testing::TestWithParam<CoalesceCase> {};

TEST_P(Coalescing, KeepsTheOrderOfFirstAnswersWithEachNamesLatestReply) {
    net::PendingDatagrams list(GetParam().capacity, 600);
    std::vector<Taken> taken;
    for (const Step& step : GetParam().steps) {
        if (step.port == kTake) {
            const auto one = TakeOne(list);
            ASSERT_TRUE(one.has_value());
            taken.push_back(*one);
            continue;
        }
        EXPECT_TRUE(Push(list, step.bytes, "10.1.2.9", step.port));
    }
    for (const Taken& rest : TakeAll(list)) taken.push_back(rest);
    EXPECT_EQ(taken, GetParam().taken);
    EXPECT_EQ(list.PeakCount(), GetParam().peak);
    EXPECT_EQ(list.Dropped(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Replies, Coalescing, testing::ValuesIn(kCoalesceCases),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
