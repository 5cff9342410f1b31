#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "net/HostAddress.h"
#include "net/Interfaces.h"

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

namespace {

using net::DefaultReason;
using net::Interface;

// A laptop on an office Wi-Fi with a USB Ethernet adapter on the lighting network, a VPN and
// a few interfaces that cannot be used.
const std::vector<Interface> kLaptop = {
    {"lo", Ipv4{127, 0, 0, 1}, 8, true, true, false, 0, ""},
    {"tun0", Ipv4{10, 8, 0, 2}, 32, true, false, false, 0, ""},
    {"docker0", Ipv4{172, 17, 0, 1}, 16, false, false, true, 0, ""},
    {"wlp2s0", Ipv4{192, 168, 1, 34}, 24, true, false, true, 0, ""},
    {"enx00e04c680001", Ipv4{10, 7, 0, 3}, 24, true, false, true, 0, ""},
    {"enx00e04c680001", Ipv4{2, 0, 0, 1}, 8, true, false, true, 0, ""},
    {"wwan0", std::nullopt, 0, true, false, false, 0, ""},
    {"eth1", std::nullopt, 0, false, false, true, 0, ""},
};

std::string DefaultOf(const std::optional<Ipv4>& hostName, const std::vector<Interface>& list) {
    const auto chosen = net::ChooseDefault(hostName, list);
    if (!chosen) return "none";
    return net::FormatAddress(chosen->address) +
           (chosen->reason == DefaultReason::HostName ? " host name" : " first broadcast");
}

TEST(ChooseDefault, HostNameUnlessLoopbackThenFirstUsableBroadcastInterface) {
    EXPECT_EQ(DefaultOf(Ipv4{10, 7, 0, 3}, kLaptop), "10.7.0.3 host name");
    EXPECT_EQ(DefaultOf(Ipv4{203, 0, 113, 9}, kLaptop), "203.0.113.9 host name");
    // Skips loopback, the VPN that cannot broadcast and the bridge that is down.
    EXPECT_EQ(DefaultOf(Ipv4{127, 0, 1, 1}, kLaptop), "192.168.1.34 first broadcast");
    EXPECT_EQ(DefaultOf(std::nullopt, kLaptop), "192.168.1.34 first broadcast");
    const std::vector<Interface> loopbackOnly(kLaptop.begin(), kLaptop.begin() + 3);
    EXPECT_EQ(DefaultOf(Ipv4{127, 0, 1, 1}, loopbackOnly), "127.0.1.1 host name");
    EXPECT_EQ(DefaultOf(std::nullopt, loopbackOnly), "none");
}

struct ChoiceCase {
    std::string given;
    std::string expected;  // "name address" of the choice, or the error text
};
void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.given;
}

class ChooseInterfaceFrom : public testing::TestWithParam<ChoiceCase> {};

TEST_P(ChooseInterfaceFrom, TheLaptop) {
    const net::InterfaceChoice choice = net::ChooseInterface(GetParam().given, kLaptop);
    if (choice.chosen) {
        EXPECT_TRUE(choice.error.empty()) << choice.error;
        EXPECT_EQ(choice.chosen->name + " " + net::FormatAddress(*choice.chosen->address),
                  GetParam().expected);
    } else {
        EXPECT_EQ(choice.error, GetParam().expected);
    }
}

constexpr char kCandidates[] =
    "; up with IPv4: lo 127.0.0.1, tun0 10.8.0.2, wlp2s0 192.168.1.34, enx00e04c680001 "
    "10.7.0.3, enx00e04c680001 2.0.0.1";

INSTANTIATE_TEST_SUITE_P(
    Inputs, ChooseInterfaceFrom,
    testing::Values(
        ChoiceCase{"enx00e04c680001", "enx00e04c680001 10.7.0.3"},
        ChoiceCase{"10.7.0.3", "enx00e04c680001 10.7.0.3"},
        ChoiceCase{"2.0.0.1", "enx00e04c680001 2.0.0.1"}, ChoiceCase{"lo", "lo 127.0.0.1"},
        ChoiceCase{"tun0", "tun0 10.8.0.2"},
        ChoiceCase{"eth0", std::string("no interface named 'eth0'") + kCandidates},
        ChoiceCase{"ENX00E04C680001",
                   std::string("no interface named 'ENX00E04C680001'") + kCandidates},
        ChoiceCase{"docker0", std::string("interface 'docker0' is down") + kCandidates},
        ChoiceCase{"eth1", std::string("interface 'eth1' is down") + kCandidates},
        ChoiceCase{"wwan0", std::string("interface 'wwan0' has no IPv4 address") + kCandidates},
        ChoiceCase{
            "172.17.0.1",
            std::string("172.17.0.1 is on interface 'docker0', which is down") + kCandidates},
        ChoiceCase{"10.7.0.255",
                   std::string("10.7.0.255 is not an IPv4 address of this host") + kCandidates},
        ChoiceCase{"", std::string("no interface named ''") + kCandidates}));

TEST(ChooseInterface, WithNothingUpSaysSo) {
    const std::vector<Interface> none = {kLaptop[2], kLaptop[7]};
    EXPECT_EQ(net::ChooseInterface("10.7.0.3", none).error,
              "10.7.0.3 is not an IPv4 address of this host; no interface is up with IPv4");
}

TEST(InterfaceListText, OneLinePerUsableAddressWithTheDefaultMarked) {
    EXPECT_EQ(net::InterfaceListText(kLaptop, Ipv4{127, 0, 1, 1}),
              "lo address=127.0.0.1/8 sends-to=127.0.0.255 can-broadcast=no\n"
              "tun0 address=10.8.0.2/32 sends-to=10.8.0.255 can-broadcast=no\n"
              "wlp2s0 address=192.168.1.34/24 sends-to=192.168.1.255 can-broadcast=yes "
              "default=first-broadcast-capable\n"
              "enx00e04c680001 address=10.7.0.3/24 sends-to=10.7.0.255 can-broadcast=yes\n"
              "enx00e04c680001 address=2.0.0.1/8 sends-to=2.0.0.255 can-broadcast=yes\n");
    EXPECT_EQ(net::InterfaceListText(kLaptop, Ipv4{2, 0, 0, 1}),
              "lo address=127.0.0.1/8 sends-to=127.0.0.255 can-broadcast=no\n"
              "tun0 address=10.8.0.2/32 sends-to=10.8.0.255 can-broadcast=no\n"
              "wlp2s0 address=192.168.1.34/24 sends-to=192.168.1.255 can-broadcast=yes\n"
              "enx00e04c680001 address=10.7.0.3/24 sends-to=10.7.0.255 can-broadcast=yes\n"
              "enx00e04c680001 address=2.0.0.1/8 sends-to=2.0.0.255 can-broadcast=yes "
              "default=host-name\n");
}

TEST(InterfaceListText, ADefaultOnNoInterfaceGetsALineOfItsOwn) {
    const std::vector<Interface> loopbackOnly(kLaptop.begin(), kLaptop.begin() + 3);
    EXPECT_EQ(net::InterfaceListText(loopbackOnly, Ipv4{127, 0, 1, 1}),
              "lo address=127.0.0.1/8 sends-to=127.0.0.255 can-broadcast=no\n"
              "tun0 address=10.8.0.2/32 sends-to=10.8.0.255 can-broadcast=no\n"
              "- address=127.0.1.1 sends-to=127.0.1.255 default=host-name\n");
    EXPECT_EQ(net::InterfaceListText({kLaptop[2]}, std::nullopt), "");
}

}  // namespace
