// The lab itself: namespaces come and go with it, hosts reach each other only through its
// bridge, and the tool's host name resolves as the program expects.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "testing/PeerSocket.h"
#include "testing/Process.h"
#include "tests/lab/RequireLab.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Bytes;
using testing_support::PeerSocket;

std::string ListedNamespaces() {
    return lab::Ip({"netns", "list"});
}

bool Listed(const std::string& ns) {
    // Each line is the name, maybe followed by " (id: N)".
    const std::string list = "\n" + ListedNamespaces();
    return list.find("\n" + ns + "\n") != std::string::npos ||
           list.find("\n" + ns + " ") != std::string::npos;
}

ino_t NamespaceInode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_ino;
}

std::string OwnNamespace() {
    return "/proc/self/task/" + std::to_string(gettid()) + "/ns/net";
}

std::unique_ptr<PeerSocket> SocketIn(const std::string& ns, const std::string& address,
                                     std::uint16_t port) {
    return lab::InNamespace(ns, [&] { return std::make_unique<PeerSocket>(address, port, true); });
}

TEST(LabHarness, NamespacesLiveExactlyAsLongAsTheLab) {
    REQUIRE_LAB();
    std::vector<std::string> made;
    std::string toolConfig;
    {
        lab::Lab lab;
        lab.AddHost("10.1.2.20");
        made = lab.Namespaces();
        ASSERT_EQ(made.size(), 3u);
        EXPECT_EQ(made[0], lab.SwitchNamespace());
        EXPECT_EQ(made[1], lab.ToolNamespace());
        for (const std::string& ns : made) {
            EXPECT_TRUE(ns.starts_with("ptlab" + std::to_string(getpid()) + "-")) << ns;
            EXPECT_TRUE(Listed(ns)) << ns;
        }
        toolConfig = "/etc/netns/" + lab.ToolNamespace();
        EXPECT_TRUE(std::filesystem::exists(toolConfig + "/hosts"));
    }
    for (const std::string& ns : made) EXPECT_FALSE(Listed(ns)) << ns << " was left behind";
    EXPECT_FALSE(std::filesystem::exists(toolConfig));
}

TEST(LabHarness, AFailedStepNamesTheCommandAndLeavesNothingBehind) {
    REQUIRE_LAB();
    std::vector<std::string> made;
    {
        lab::Lab lab;
        try {
            lab.AddHost("10.1.2.300");
            ADD_FAILURE() << "an impossible address was accepted";
        } catch (const std::runtime_error& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find("10.1.2.300"), std::string::npos) << text;
            EXPECT_NE(text.find("exit code"), std::string::npos) << text;
        }
        made = lab.Namespaces();
        EXPECT_EQ(made.size(), 3u) << "the half-made host is still the lab's to delete";
    }
    for (const std::string& ns : made) EXPECT_FALSE(Listed(ns)) << ns << " was left behind";
}

TEST(LabHarness, TwoLabsAtOnceGetTheirOwnNamespaces) {
    REQUIRE_LAB();
    lab::Lab first;
    lab::Lab second;
    EXPECT_NE(first.ToolNamespace(), second.ToolNamespace());
    EXPECT_NE(first.SwitchNamespace(), second.SwitchNamespace());
}

TEST(LabHarness, InNamespaceMovesOnlyForTheCallAndBackEvenOnAnException) {
    REQUIRE_LAB();
    lab::Lab lab;
    const ino_t before = NamespaceInode(OwnNamespace());
    const ino_t tool = NamespaceInode("/run/netns/" + lab.ToolNamespace());
    ASSERT_NE(before, tool);

    EXPECT_EQ(lab::InNamespace(lab.ToolNamespace(), [] { return NamespaceInode(OwnNamespace()); }),
              tool);
    EXPECT_EQ(NamespaceInode(OwnNamespace()), before);

    EXPECT_THROW(lab::InNamespace(lab.ToolNamespace(), [] { throw std::logic_error("inside"); }),
                 std::logic_error);
    EXPECT_EQ(NamespaceInode(OwnNamespace()), before);

    EXPECT_THROW(lab::InNamespace("ptlab-no-such-namespace", [] {}), std::runtime_error);
    EXPECT_EQ(NamespaceInode(OwnNamespace()), before);
}

TEST(LabHarness, HostsHearUnicastAndBroadcastFromTheToolOverTheBridge) {
    REQUIRE_LAB();
    lab::Lab lab;
    const std::string host = lab.AddHost("10.1.2.20");
    auto listener = SocketIn(host, "0.0.0.0", 3333);
    auto tool = SocketIn(lab.ToolNamespace(), "0.0.0.0", 3333);

    ASSERT_TRUE(tool->SendTo("10.1.2.20", 3333, Bytes("unicast")));
    ASSERT_TRUE(tool->SendTo("10.1.2.255", 3333, Bytes("broadcast")));
    const auto all = listener->ReceiveFor(10s, 2);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_FALSE(listener->Receive(200ms)) << "each sent once";
    EXPECT_EQ(all[0].bytes, Bytes("unicast"));
    EXPECT_EQ(all[1].bytes, Bytes("broadcast"));
    for (const auto& datagram : all) {
        EXPECT_EQ(datagram.senderAddress, lab::kToolAddress);
        EXPECT_EQ(datagram.senderPort, 3333);
    }
}

TEST(LabHarness, LinkDownCutsAHostOffUntilItIsUpAgain) {
    REQUIRE_LAB();
    lab::Lab lab;
    const std::string host = lab.AddHost("10.1.2.20");
    auto listener = SocketIn(lab.ToolNamespace(), "0.0.0.0", 3333);
    auto sender = SocketIn(host, "0.0.0.0", 0);

    lab.SetLink(host, "down");
    EXPECT_FALSE(sender->SendTo(lab::kToolAddress, 3333, Bytes("while down")))
        << "a host whose link is down has no route to the tool";
    EXPECT_FALSE(listener->Receive(300ms));

    lab.SetLink(host, "up");
    ASSERT_TRUE(sender->SendTo(lab::kToolAddress, 3333, Bytes("up again")));
    const auto got = listener->Receive(10s);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, Bytes("up again"));
}

TEST(LabHarness, ToolHostNameResolvesToTheToolAddressOnlyInsideItsProcess) {
    REQUIRE_LAB();
    char before[256] = {};
    gethostname(before, sizeof before - 1);
    lab::Lab lab;

    const auto result =
        lab::RunCommand(lab.ExecCommand(lab.ToolNamespace(), {LAB_RESOLVE_BINARY}), 5s);
    EXPECT_TRUE(result.status.Exited(0)) << lab::Describe(result.status) << ": " << result.errors;
    EXPECT_EQ(result.output,
              "host=praveltest-lab resolved=10.1.2.3 lookup=10.1.2.3 broadcast=10.1.2.255\n");

    char after[256] = {};
    gethostname(after, sizeof after - 1);
    EXPECT_STREQ(after, before) << "the lab changed this machine's host name";
}

TEST(LabHarness, WiderMaskStillGivesTheSameHostName) {
    REQUIRE_LAB();
    lab::Lab lab(16);
    EXPECT_EQ(lab.PrefixLength(), 16);
    const std::string addresses = lab::Ip(
        {"-n", lab.ToolNamespace(), "-4", "-o", "addr", "show", "dev", lab::kHostInterface});
    EXPECT_NE(addresses.find("10.1.2.3/16 brd 10.1.255.255"), std::string::npos) << addresses;
    const auto result =
        lab::RunCommand(lab.ExecCommand(lab.ToolNamespace(), {LAB_RESOLVE_BINARY}), 5s);
    EXPECT_NE(result.output.find("lookup=10.1.2.3 broadcast=10.1.2.255"), std::string::npos)
        << result.output << result.errors;
}

// Scripts read what the lab command says; a mistake in their call must say so in one line.
TEST(LabCommand, ABadCommandLineGetsOneLineAndExitCodeTwoHelpGetsTheUsage) {
    const struct {
        std::vector<std::string> arguments;
        std::string errors;
    } cases[] = {
        {{},
         "praveltest-lab: a verb and a name are needed; praveltest-lab --help shows the usage\n"},
        {{"start", "x"},
         "praveltest-lab: unknown command start; praveltest-lab --help shows the usage\n"},
        {{"up", "x", "--hosts", "10.1.2.20"},
         "praveltest-lab: unknown option --hosts; praveltest-lab --help shows the usage\n"},
        {{"exec", "x", "true"},
         "praveltest-lab: exec needs -- COMMAND; praveltest-lab --help shows the usage\n"},
    };
    for (const auto& each : cases) {
        std::vector<std::string> argv{PRAVELTEST_LAB_BINARY};
        argv.insert(argv.end(), each.arguments.begin(), each.arguments.end());
        const lab::CommandResult result = lab::RunCommand(argv);
        EXPECT_TRUE(result.status.Exited(2)) << lab::Describe(result.status);
        EXPECT_EQ(result.errors, each.errors);
        EXPECT_EQ(result.output, "");
    }
    const lab::CommandResult help = lab::RunCommand({PRAVELTEST_LAB_BINARY, "--help"});
    EXPECT_TRUE(help.status.Exited(0));
    EXPECT_EQ(help.output.rfind("usage: praveltest-lab up NAME", 0), 0u) << help.output;
    EXPECT_EQ(help.errors, "");
}

}  // namespace
