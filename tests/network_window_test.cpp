// The Network window: what it shows of the interfaces and the wire, from facts the test
// chooses; and beside the real main window on loopback, where choosing an interface ties the
// endpoint, polls and is kept.
#include <QPushButton>
#include <QTest>

#include "tests/support/MainWindowFixture.h"

namespace {

using namespace std::chrono_literals;
using Rows = std::vector<std::vector<std::string>>;
using Choices = std::vector<std::optional<std::string>>;
using Sent = std::vector<std::vector<std::uint8_t>>;

net::Interface Make(const char* name, std::optional<net::Ipv4> address, int prefix, bool up,
                    bool loopback = false) {
    net::Interface each;
    each.name = name;
    each.address = address;
    each.prefixLength = prefix;
    each.up = up;
    each.loopback = loopback;
    each.canBroadcast = !loopback;
    each.index = 1;
    return each;
}

// A rig adapter chosen by the user, a console on the wire, another program on the port, and
// no node.
NetworkStatus QuietRig(network::Reason reason) {
    NetworkStatus status;
    status.interfaces = {Make("lo", net::Ipv4{127, 0, 0, 1}, 8, true, true),
                         Make("wlan0", net::Ipv4{192, 168, 1, 20}, 24, true),
                         Make("eth1", net::Ipv4{10, 7, 0, 3}, 24, true),
                         Make("eth2", std::nullopt, 0, false)};
    status.interfaces[2].description = "USB rig adapter";
    status.inUse.reason = reason;
    status.inUse.wanted = "eth1";
    status.inUse.tiedTo = status.interfaces[2];
    status.inUse.address = status.interfaces[2].address;
    status.broadcastAddress = "10.7.0.255";
    status.port = 3333;
    status.traffic.pollSent = std::chrono::system_clock::now();
    status.traffic.heardSincePoll[static_cast<std::size_t>(protocol::DatagramKind::DmxData)] = 12;
    status.traffic.heardSincePoll[static_cast<std::size_t>(protocol::DatagramKind::Poll)] = 1;
    return status;
}

struct Shown {
    network::Reason reason;
    const char* inUse;
    bool canChoose;
};

class NetworkWindowTest : public testing::TestWithParam<Shown> {};

TEST_P(NetworkWindowTest, ShowsTheInterfacesWhyAndWhatTheWireSays) {
    Choices chosen;
    NetworkWindowSource source;
    source.status = [] { return QuietRig(GetParam().reason); };
    source.choose = [&chosen](const std::optional<std::string>& name) { chosen.push_back(name); };
    source.portOwners = [](std::uint16_t) {
        net::PortOwners owners;
        owners.known = true;
        owners.others = {{4242, "showcontrol"}};
        return owners;
    };
    NetworkWindow window(source);
    EXPECT_EQ(window.InUseText(), GetParam().inUse);
    EXPECT_EQ(
        window.InterfaceRows(),
        (Rows{{"wlan0", "", "192.168.1.20/24", "192.168.1.255", "yes", "yes", ""},
              {"eth1", "USB rig adapter", "10.7.0.3/24", "10.7.0.255", "yes", "yes", "in use"},
              {"eth2", "", "none", "", "no", "yes", ""}}));
    EXPECT_EQ(window.FindingText("Endpoint"), "bound to UDP port 3333, tied to eth1");
    EXPECT_EQ(window.FindingText("Its own poll came back"),
              "no; a firewall on this host may be dropping UDP port 3333");
    EXPECT_EQ(window.FindingText("Other programs on UDP port 3333 on this host"),
              "showcontrol (pid 4242)");
    EXPECT_EQ(window.FindingText("Also heard since the poll"),
              "12 DMX data messages, 1 other poll");
    EXPECT_EQ(window.FindingText("Last reply"), "none yet; 0 nodes listed");
    EXPECT_EQ(window.FindingText("Usual causes"),
              "a firewall blocking UDP port 3333, the wrong adapter (see the list above) or "
              "another program on the port");

    window.UseRow(2);  // down, no address: never a choice
    window.UseRow(0);
    window.UseDefault();
    EXPECT_EQ(chosen, GetParam().canChoose ? (Choices{"wlan0", std::nullopt}) : Choices{});
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, NetworkWindowTest,
    testing::Values(Shown{network::Reason::UserChoice,
                          "In use: eth1, 10.7.0.3/24, sending to 10.7.0.255:3333 (chosen by you)",
                          true},
                    Shown{network::Reason::CommandLine,
                          "In use: eth1, 10.7.0.3/24, sending to 10.7.0.255:3333 (given on the "
                          "command line: --interface eth1)",
                          false}),
    [](const testing::TestParamInfo<Shown>& info) {
        return info.param.reason == network::Reason::CommandLine ? "CommandLine" : "UserChoice";
    });

// A kept interface absent at start: the default stands in, the window says why, and the user
// may forget the choice.
TEST(NetworkWindowFallbackTest, SaysTheKeptChoiceIsAbsentAndLetsItBeForgotten) {
    Choices chosen;
    NetworkWindowSource source;
    source.status = [] {
        NetworkStatus status = QuietRig(network::Reason::FirstBroadcastCapable);
        status.interfaces.erase(status.interfaces.begin() + 2);
        status.inUse.tiedTo.reset();
        status.inUse.wanted.clear();
        status.inUse.address = net::Ipv4{192, 168, 1, 20};
        status.inUse.problem = "the interface you chose, 'eth1', is gone";
        status.broadcastAddress = "192.168.1.255";
        return status;
    };
    source.choose = [&chosen](const std::optional<std::string>& name) { chosen.push_back(name); };
    source.portOwners = [](std::uint16_t) { return net::PortOwners{}; };
    NetworkWindow window(source);
    EXPECT_EQ(window.InUseText(),
              "In use: wlan0, 192.168.1.20/24, sending to 192.168.1.255:3333 "
              "(the first interface that can broadcast)");
    EXPECT_EQ(window.ProblemText(), "the interface you chose, 'eth1', is gone");
    EXPECT_EQ(window.FindingText("Endpoint"), "bound to UDP port 3333, on every interface");
    window.UseDefault();
    EXPECT_EQ(chosen, Choices{std::nullopt});
}

#ifndef _WIN32
class NetworkChoiceOnLoopback : public testing_support::MainWindowFixture {};

// Tied to lo by name, as Linux ties; Windows ties by index, which the lab tests under Wine
// cover.
TEST_F(NetworkChoiceOnLoopback, ChoosingTiesThePollsAndIsKept) {
    Choices kept;
    NetworkSetup setup;
    setup.seams.listInterfaces = [] {
        return std::vector<net::Interface>{Make("lo", net::Ipv4{127, 0, 0, 1}, 8, true, true)};
    };
    setup.seams.resolveHostName = [] { return net::ParseAddress("127.0.0.1"); };
    setup.keep = [&kept](const std::optional<std::string>& name) { kept.push_back(name); };
    window = testing_support::OpenMainWindow(Environment(), std::move(setup));
    ASSERT_TRUE(testing_support::ShowActive(*window));
    const std::vector<std::uint8_t> poll(protocol::kPollMessage.begin(),
                                         protocol::kPollMessage.end());
    EXPECT_EQ(NextSent(1), Sent{poll});

    NetworkWindow* network = testing_support::ChooseNetworkItem(*window);
    ASSERT_NE(network, nullptr);
    EXPECT_TRUE(network->isVisible());
    const std::string sending =
        "In use: lo, 127.0.0.1/8, sending to 127.0.0.255:" + std::to_string(port);
    EXPECT_EQ(network->InUseText(), sending + " (the host name's address)");
    EXPECT_EQ(network->InterfaceRows(),
              (Rows{{"lo", "", "127.0.0.1/8", "127.0.0.255", "yes", "no", "in use"}}));

    network->UseRow(0);
    EXPECT_EQ(kept, Choices{"lo"});
    EXPECT_EQ(network->InUseText(), sending + " (chosen by you)");
    EXPECT_EQ(NextSent(1), Sent{poll});
    // Sent at a clock time, which the window puts first.
    const std::string pollSent = network->FindingText("Poll sent");
    EXPECT_TRUE(pollSent.ends_with(" on lo (127.0.0.1/8) to 127.0.0.255:" + std::to_string(port)))
        << pollSent;
    EXPECT_EQ(network->FindingText("Endpoint"),
              "bound to UDP port " + std::to_string(port) + ", tied to lo");

    network->UseDefault();
    EXPECT_EQ(kept, (Choices{"lo", std::nullopt}));
    EXPECT_EQ(network->InUseText(), sending + " (the host name's address)");
    EXPECT_EQ(testing_support::ChooseNetworkItem(*window), network);
    EXPECT_TRUE(messages.Messages().empty());
}
#endif

}  // namespace
