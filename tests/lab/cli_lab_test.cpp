// praveltest-cli on the lab's tool host with praveltest-node on other hosts: without
// --interface its host-name lookup finds 10.1.2.3 as the window's does; --interface picks the
// second network instead. When no node answers, it says what it saw.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <sstream>

#include "testing/Console.h"
#include "testing/LabNode.h"
#include "tests/lab/RequireLab.h"

namespace {

using namespace std::chrono_literals;

// P for each reply's port and MS for the milliseconds, with the records sorted after the header:
// all three vary from run to run.
std::string Masked(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(std::regex_replace(text, std::regex("\\b[0-9]{5}\\b"), "P"));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(std::regex_replace(line, std::regex("\\b[0-9]+(\\}?)$"), "MS$1") + "\n");
    }
    if (lines.size() > 1) std::sort(lines.begin() + 1, lines.end());
    std::string masked;
    for (const std::string& line : lines) masked += line;
    return masked;
}

struct Node {
    std::string address;
    int network;
    std::vector<std::string> args;
    std::vector<std::string> heard;  // the poll lines it logs, one for each poll that reached it
};

struct PollCase {
    std::vector<std::string> args;
    int status;
    std::string output;  // masked
    std::string errors;
};

TEST(CliInLab, ThePollReachesEveryNodeOfTheChosenNetworkOnly) {
    REQUIRE_LAB();
    lab::Lab lab;
    lab.AddSecondNetwork();
    const std::string poll = "poll from=10.1.2.3:3333 replies=1";
    const std::vector<Node> nodes{
        {"10.1.2.20",
         0,
         {"--name", "Stage", "--universe", "3", "--mac", "02:00:00:00:10:01"},
         {poll}},
        {"10.1.2.21",
         0,
         {"--name", "Truss", "--options", "7", "--listen-to", "1", "--listen-address", "10.1.2.255",
          "--node-type", "0203", "--version", "0x10", "--ttl", "32"},
         {poll}},
        {"10.7.0.21", 1, {"--name", "Rig"}, {"poll from=10.7.0.3:3333 replies=1"}},
    };
    std::vector<std::unique_ptr<lab::Process>> running;
    for (const Node& node : nodes) {
        running.push_back(lab::StartNode(PRAVELTEST_NODE_BINARY,
                                         lab.AddHost(node.address, -1, node.network), node.args));
    }

    // Its own broadcast comes back to it, as to the window.
    const std::vector<PollCase> cases{
        {{"poll", "--wait", "2", "--expect", "2"},
         0,
         "Name   IP Address  Port   MAC Address        Node Type  Version  Switch Settings  "
         "Options                                                   Type of Service  Packet TTL  "
         "Listen to          Listen IP Address  DMX Universe   Reply ms\n"
         "Stage  10.1.2.20   P  02 00 00 00 10 01  0001       01       00               "
         "Node is configured,                                       00               40          "
         "Broadcast          0.0.0.0            4 (1537-2048)  MS\n"
         "Truss  10.1.2.21   P  02 00 00 00 00 01  0203       10       00               "
         "Node is configured, Enable DHCP, Enable Error Correction  00               20          "
         "Class C Broadcast  10.1.2.255         1 (1-512)      MS\n",
         "praveltest-cli: ignored 1 datagram: poll=1\n"},
        {{"poll", "--interface", "eth1", "--wait", "1", "--format", "json", "--expect", "2"},
         1,
         R"j({"name": "Rig", "ip_address": "10.7.0.21", "port": P, )j"
         R"j("mac_address": "02 00 00 00 00 01", "node_type": "0001", "version": "01", )j"
         R"j("switch_settings": "00", "options": "Node is configured, ", )j"
         R"j("type_of_service": "00", "packet_ttl": "40", "listen_to": "Broadcast", )j"
         R"j("listen_ip_address": "0.0.0.0", "dmx_universe": "1 (1-512)", "reply_ms": MS})j"
         "\n",
         "praveltest-cli: ignored 1 datagram: poll=1\n"
         "praveltest-cli: 1 of 2 expected nodes answered\n"},
    };
    for (const PollCase& each : cases) {
        std::vector<std::string> argv{PRAVELTEST_CLI_BINARY};
        argv.insert(argv.end(), each.args.begin(), each.args.end());
        const auto result = lab::RunCommand(lab.ExecCommand(lab.ToolNamespace(), argv), 20s);
        EXPECT_TRUE(result.status.Exited(each.status)) << lab::Describe(result.status);
        EXPECT_EQ(Masked(result.output), each.output) << result.output;
        EXPECT_EQ(result.errors, each.errors);
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        EXPECT_TRUE(running[i]->WaitForLineStartingWith("poll ", 10s)) << nodes[i].address;
        std::vector<std::string> polls;
        for (const std::string& line : running[i]->OutputLines()) {
            if (line.starts_with("poll ")) polls.push_back(line);
        }
        EXPECT_EQ(polls, nodes[i].heard) << nodes[i].address;
    }
}

// Tied to the named interface, as the window's socket is, the tool hears nothing of the other
// network: a console there, broadcasting all through the poll, shows in no count.
TEST(CliInLab, ANamedInterfaceHearsNothingFromTheOtherNetwork) {
    REQUIRE_LAB();
    lab::Lab lab;
    lab.AddSecondNetwork();
    testing_support::Console console(lab.AddHost("10.1.2.30"), 1, "10.1.2.255");
    const long before = console.Rounds();
    const auto result = lab::RunCommand(
        lab.ExecCommand(lab.ToolNamespace(),
                        {PRAVELTEST_CLI_BINARY, "poll", "--interface", "eth1", "--wait", "1"}),
        20s);
    EXPECT_GT(console.Rounds(), before) << "the console was not sending";
    EXPECT_TRUE(result.status.Exited(0)) << lab::Describe(result.status) << result.errors;
    EXPECT_TRUE(result.errors.starts_with("praveltest-cli: ignored 1 datagram: poll=1\n"))
        << result.errors;
    EXPECT_NE(result.errors.find("also heard: nothing\n"), std::string::npos) << result.errors;
}

// What stands between the poll and an answer. Each but NoNode has a node at 10.1.2.20, which
// answers every poll that reaches it.
enum class Trouble {
    NoNode,
    ReplyTaken,  // praveltest-node on the tool host, bound to 10.1.2.3:3333
    Firewall,    // the tool host drops UDP port 3333 as it arrives
};

// Nothing answered: standard error says where the poll went, whether it came back and who
// else holds the port, and points at the causes; standard output and the exit status are as
// for any poll that no node answers.
TEST(CliInLab, WhenNoNodeAnswersItSaysWhatItSaw) {
    REQUIRE_LAB();
    const std::string table =
        "Name  IP Address  Port  MAC Address  Node Type  Version  Switch Settings  Options  "
        "Type of Service  Packet TTL  Listen to  Listen IP Address  DMX Universe  Reply ms\n";
    const std::string own = "praveltest-cli: ignored 1 datagram: poll=1\n";
    const std::string sent =
        "praveltest-cli: no node answered the poll sent on eth0 (10.1.2.3/24) "
        "to 10.1.2.255:3333\n";
    const std::string back =
        "praveltest-cli: its own poll came back: yes, so the broadcast went out\n";
    const std::string none = "praveltest-cli: other programs on UDP port 3333 on this host: none\n";
    const std::string rest =
        "praveltest-cli: also heard: nothing\n"
        "praveltest-cli: usual causes: a firewall blocking UDP port 3333, the wrong adapter (see "
        "--list-interfaces) or another program on the port\n";
    const struct {
        Trouble trouble;
        std::vector<std::string> args;
        int status;
        std::string output;
        std::string errors;  // the thief's process id as THIEF
    } cases[]{
        {Trouble::NoNode, {"--wait", "1"}, 0, table, own + sent + back + none + rest},
        {Trouble::ReplyTaken,
         {"--wait", "2", "--format", "json", "--expect", "1"},
         1,
         "",
         own + sent + back +
             "praveltest-cli: other programs on UDP port 3333 on this host: praveltest-node "
             "(pid THIEF)\n" +
             rest + "praveltest-cli: 0 of 1 expected nodes answered\n"},
        {Trouble::Firewall,
         {"--wait", "1", "--format", "csv"},
         0,
         "Name,IP Address,Port,MAC Address,Node Type,Version,Switch Settings,Options,"
         "Type of Service,Packet TTL,Listen to,Listen IP Address,DMX Universe,Reply ms\n",
         sent +
             "praveltest-cli: its own poll came back: no; a firewall on this host may be "
             "dropping UDP port 3333\n" +
             none + rest},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(static_cast<int>(each.trouble));
        lab::Lab lab;
        std::unique_ptr<lab::Process> node, thief;
        if (each.trouble != Trouble::NoNode) {
            node = lab::StartNode(PRAVELTEST_NODE_BINARY, lab.AddHost("10.1.2.20"),
                                  {"--name", "Stage"});
        }
        if (each.trouble == Trouble::Firewall) {
            const auto nft = lab::RunCommand(lab::NamespaceCommand(
                lab.ToolNamespace(), {"nft",
                                      "add table inet lab; add chain inet lab in { type "
                                      "filter hook input priority 0; }; add rule inet lab "
                                      "in udp dport 3333 drop"}));
            ASSERT_TRUE(nft.status.Exited(0)) << "nft (Debian package nftables): " << nft.errors;
        }
        // Bound to the tool host's own address it never hears the broadcast poll, but the
        // system hands it the unicast reply, ahead of the tool's socket on any address.
        if (each.trouble == Trouble::ReplyTaken) {
            thief = lab::StartNode(PRAVELTEST_NODE_BINARY, lab.ToolNamespace(),
                                   {"--bind", lab::kToolAddress});
        }

        std::vector<std::string> argv{PRAVELTEST_CLI_BINARY, "poll"};
        argv.insert(argv.end(), each.args.begin(), each.args.end());
        const auto result = lab::RunCommand(lab.ExecCommand(lab.ToolNamespace(), argv), 20s);
        EXPECT_TRUE(result.status.Exited(each.status)) << lab::Describe(result.status);
        EXPECT_EQ(result.output, each.output);
        const std::string pid = thief ? std::to_string(thief->Pid()) : "none";
        EXPECT_EQ(
            std::regex_replace(result.errors, std::regex("\\(pid " + pid + "\\)"), "(pid THIEF)"),
            each.errors);
        if (thief) {
            EXPECT_TRUE(thief->WaitForLineStartingWith("ignored from=10.1.2.20:", 10s))
                << "the reply went to the other program";
        }
        if (node) {
            EXPECT_TRUE(node->WaitForLineStartingWith("poll from=10.1.2.3:3333 ", 10s))
                << "the poll left the tool host";
        }
    }
}

}  // namespace
