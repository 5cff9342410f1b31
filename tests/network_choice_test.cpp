// Which interface the window uses and why, as the interfaces come, go and change.
#include <gtest/gtest.h>

#include <utility>

#include "network/NetworkChoice.h"

namespace {

using network::InUse;
using network::Reason;
using network::Request;

net::Interface Make(const char* name, std::optional<net::Ipv4> address, unsigned index,
                    bool up = true) {
    net::Interface each;
    each.name = name;
    each.address = address;
    each.prefixLength = address ? 24 : 0;
    each.up = up;
    each.loopback = std::string(name) == "lo";
    each.canBroadcast = !each.loopback;
    each.index = index;
    return each;
}

const net::Ipv4 kLoopback{127, 0, 0, 1};
const net::Ipv4 kDebianHostName{127, 0, 1, 1};
const net::Ipv4 kOffice{192, 168, 1, 20};
const net::Ipv4 kRig{10, 7, 0, 3};
const net::Ipv4 kRigAfterNewLease{10, 8, 0, 3};

const std::vector<net::Interface> kBoth{Make("lo", kLoopback, 1), Make("wlan0", kOffice, 2),
                                        Make("eth1", kRig, 3)};
const std::vector<net::Interface> kRigDown{Make("lo", kLoopback, 1), Make("wlan0", kOffice, 2),
                                           Make("eth1", kRig, 3, false)};
const std::vector<net::Interface> kRigPulled{Make("lo", kLoopback, 1), Make("wlan0", kOffice, 2)};
const std::vector<net::Interface> kRigReplugged{Make("lo", kLoopback, 1), Make("wlan0", kOffice, 2),
                                                Make("eth1", kRigAfterNewLease, 7)};

InUse TiedToRig(Reason reason, const char* wanted) {
    InUse inUse;
    inUse.reason = reason;
    inUse.wanted = wanted;
    inUse.tiedTo = kBoth[2];
    inUse.address = kRig;
    return inUse;
}

struct Case {
    const char* name;
    Request request;
    std::vector<net::Interface> interfaces;
    std::optional<net::Ipv4> hostName;
    std::optional<InUse> current;
    Reason reason;
    const char* tiedTo;  // "" for no tie
    unsigned tiedIndex;
    std::optional<net::Ipv4> address;
    const char* problem;
};

class ResolveTest : public testing::TestWithParam<Case> {};

TEST_P(ResolveTest, PicksTheInterfaceAndSaysWhy) {
    const Case& c = GetParam();
    const InUse inUse =
        network::Resolve(c.request, c.interfaces, c.hostName, c.current ? &*c.current : nullptr);
    EXPECT_EQ(inUse.reason, c.reason);
    EXPECT_EQ(inUse.tiedTo ? inUse.tiedTo->name : "", c.tiedTo);
    EXPECT_EQ(inUse.tiedTo ? inUse.tiedTo->index : 0u, c.tiedIndex);
    EXPECT_EQ(inUse.address, c.address);
    EXPECT_EQ(inUse.problem, c.problem);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ResolveTest,
    testing::Values(
        Case{"HostNameUntied", {}, kBoth, kOffice, {}, Reason::HostName, "", 0, kOffice, ""},
        Case{"LoopbackHostNameTakesFirstThatBroadcasts",
             {},
             kBoth,
             kDebianHostName,
             {},
             Reason::FirstBroadcastCapable,
             "",
             0,
             kOffice,
             ""},
        Case{"CommandLineWinsOverKept",
             {"eth1", "wlan0"},
             kBoth,
             kOffice,
             {},
             Reason::CommandLine,
             "eth1",
             3,
             kRig,
             ""},
        Case{"KeptChoiceTies",
             {{}, "eth1"},
             kBoth,
             kOffice,
             {},
             Reason::UserChoice,
             "eth1",
             3,
             kRig,
             ""},
        Case{"KeptAbsentAtStartFallsBack",
             {{}, "eth1"},
             kRigPulled,
             kDebianHostName,
             {},
             Reason::FirstBroadcastCapable,
             "",
             0,
             kOffice,
             "the interface you chose, 'eth1', is not usable now (no interface named 'eth1'; up "
             "with IPv4: lo 127.0.0.1, wlan0 192.168.1.20), so the default is in use until it is "
             "back"},
        Case{"KeptGoneWhileInUseStaysTied",
             {{}, "eth1"},
             kRigDown,
             kOffice,
             TiedToRig(Reason::UserChoice, "eth1"),
             Reason::UserChoice,
             "eth1",
             3,
             std::nullopt,
             "interface 'eth1' is down; up with IPv4: lo 127.0.0.1, wlan0 192.168.1.20"},
        Case{"CommandLineGoneStaysTied",
             {"eth1", {}},
             kRigPulled,
             kOffice,
             TiedToRig(Reason::CommandLine, "eth1"),
             Reason::CommandLine,
             "eth1",
             3,
             std::nullopt,
             "no interface named 'eth1'; up with IPv4: lo 127.0.0.1, wlan0 192.168.1.20"},
        Case{"ReplugWithNewLeaseTiesAgain",
             {{}, "eth1"},
             kRigReplugged,
             kOffice,
             TiedToRig(Reason::UserChoice, "eth1"),
             Reason::UserChoice,
             "eth1",
             7,
             kRigAfterNewLease,
             ""}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// The follower looks once a period, on its caller's tick, and speaks only of changes.
TEST(FollowerTest, ReportsOnlyChangesAndNoSoonerThanItsPeriod) {
    std::vector<net::Interface> now = kBoth;
    network::Seams seams;
    seams.listInterfaces = [&now] { return now; };
    seams.resolveHostName = [] { return std::optional<net::Ipv4>(kOffice); };
    bool told = false;
    seams.changed = [&told] { return std::exchange(told, false); };
    network::Follower follower({{}, "eth1"}, seams);
    EXPECT_EQ(follower.Current().address, kRig);

    auto when = network::Follower::Clock::now() + network::Follower::kLookPeriod;
    told = true;
    EXPECT_FALSE(follower.Look(when)) << "nothing changed";
    now = kRigReplugged;
    EXPECT_FALSE(follower.Look(when + network::Follower::kLookPeriod)) << "not told of it";
    told = true;
    EXPECT_FALSE(follower.Look(when + std::chrono::milliseconds(1500))) << "looked too soon";
    when += 2 * network::Follower::kLookPeriod;
    const std::optional<InUse> replugged = follower.Look(when);
    ASSERT_TRUE(replugged);
    EXPECT_EQ(replugged->address, kRigAfterNewLease);
    EXPECT_EQ(replugged->tiedTo->index, 7u);

    const InUse automatic = follower.Choose(std::nullopt);
    EXPECT_EQ(automatic.reason, Reason::HostName);
    EXPECT_FALSE(automatic.tiedTo);
    EXPECT_EQ(network::ReasonText(automatic), "the host name's address");
    EXPECT_EQ(network::ReasonText(follower.Choose("wlan0")), "chosen by you");
}

}  // namespace
