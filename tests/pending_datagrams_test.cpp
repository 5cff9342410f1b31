#include <gtest/gtest.h>

#include <cstdint>
#include <string>
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
    return list.Push(bytes.data(), bytes.size(), address, port);
}

std::vector<Taken> TakeAll(net::PendingDatagrams& list) {
    std::vector<Taken> taken;
    std::uint8_t buffer[600];
    net::PendingDatagrams::Datagram datagram;
    while (list.Pop(buffer, sizeof buffer, datagram)) {
        taken.push_back({Bytes(datagram.bytes, datagram.bytes + datagram.length),
                         datagram.senderAddress, datagram.senderPort});
    }
    return taken;
}

// Each entry takes 20 bytes besides its datagram, so 100 bytes hold two of 30.
TEST(PendingDatagrams, KeepsArrivalOrderWithinItsBoundAndCountsWhatItDrops) {
    net::PendingDatagrams list(100, 600);
    const Bytes a(30, 0xAA), b(30, 0xBB), c(30, 0xCC), d(10, 0xDD);
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
