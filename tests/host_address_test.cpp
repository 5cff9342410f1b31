#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "net/HostAddress.h"

namespace {

using net::Ipv4;

struct AddressCase {
    Ipv4 address;
    std::string text;
    std::string broadcast;
};
// Without a printer GoogleTest dumps the raw bytes, padding included.
void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << c.text;
}

class HostAddressFormats : public testing::TestWithParam<AddressCase> {};

TEST_P(HostAddressFormats, FormatParseAndBroadcastAgree) {
    const AddressCase& c = GetParam();
    EXPECT_EQ(net::FormatAddress(c.address), c.text);
    EXPECT_EQ(net::ParseAddress(c.text), std::optional<Ipv4>(c.address));
    EXPECT_EQ(net::ClassCBroadcast(c.address), c.broadcast);
    EXPECT_EQ(net::ParseAddress(net::FormatAddress(c.address)), std::optional<Ipv4>(c.address));
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, HostAddressFormats,
    testing::Values(AddressCase{{10, 1, 2, 3}, "10.1.2.3", "10.1.2.255"},
                    AddressCase{{127, 0, 0, 1}, "127.0.0.1", "127.0.0.255"},
                    AddressCase{{192, 168, 100, 254}, "192.168.100.254", "192.168.100.255"},
                    AddressCase{{0, 0, 0, 0}, "0.0.0.0", "0.0.0.255"},
                    AddressCase{{255, 255, 255, 255}, "255.255.255.255", "255.255.255.255"},
                    AddressCase{{172, 31, 0, 255}, "172.31.0.255", "172.31.0.255"},
                    AddressCase{{200, 9, 80, 7}, "200.9.80.7", "200.9.80.255"}));

class ParseAddressRejects : public testing::TestWithParam<std::string> {};

TEST_P(ParseAddressRejects, MalformedText) {
    EXPECT_EQ(net::ParseAddress(GetParam()), std::nullopt) << "'" << GetParam() << "'";
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseAddressRejects,
                         testing::Values("", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.-4",
                                         "a.b.c.d", " 1.2.3.4", "1.2.3.4 ", "1..3.4", "::1",
                                         "localhost", "10.1.2.255/24"));

TEST(ClassCBroadcast, KeepsTheFirstThreeBytesWhateverTheFourth) {
    for (int last = 0; last <= 255; ++last) {
        const Ipv4 host{192, 0, 2, static_cast<std::uint8_t>(last)};
        ASSERT_EQ(net::ClassCBroadcast(host), "192.0.2.255") << "host byte " << last;
    }
}

TEST(IsLoopback, IsTheWholeOneTwentySevenBlock) {
    EXPECT_TRUE(net::IsLoopback({127, 0, 0, 1}));
    EXPECT_TRUE(net::IsLoopback({127, 0, 0, 255}));
    EXPECT_TRUE(net::IsLoopback({127, 255, 255, 255}));
    EXPECT_TRUE(net::IsLoopback({127, 1, 2, 3}));
    EXPECT_FALSE(net::IsLoopback({126, 255, 255, 255}));
    EXPECT_FALSE(net::IsLoopback({128, 0, 0, 1}));
    EXPECT_FALSE(net::IsLoopback({0, 0, 0, 0}));
    EXPECT_FALSE(net::IsLoopback({10, 127, 0, 1}));
    EXPECT_FALSE(net::IsLoopback({1, 0, 0, 127}));
}

}  // namespace
