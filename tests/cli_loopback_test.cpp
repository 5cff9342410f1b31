// praveltest-cli on loopback: --interface lo sends to 127.0.0.255, where a test socket or
// praveltest-node listens as a node would; replies come back to the tool's bound port.
#include <gtest/gtest.h>

#include <unistd.h>

#include <regex>

#include "testing/DmxFrame.h"
#include "testing/PeerSocket.h"
#include "testing/Process.h"

namespace {

using namespace std::chrono_literals;
using lab::CommandResult;
using testing_support::Bytes;
using testing_support::DmxFrame;
using testing_support::PeerSocket;

using ByteVector = std::vector<std::uint8_t>;

const ByteVector kTrussReply{'V',  'X',  'P',  'R',  0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x02,
                             0x03, 0x10, 0x0F, 'T',  'r',  'u',  's',  's',  0,    0,    0,
                             0,    0,    0x07, 0x20, 0x40, 0x01, 10,   1,    2,    255,  2};
const ByteVector kFloorReply{'V',  'X',  'P',  'R',  0x02, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00,
                             0x01, 0x01, 0x00, 'F',  'l',  'o',  'o',  'r',  '-',  'L',  'e',
                             'f',  't',  0x00, 0x00, 0xFF, 0x00, 0,    0,    0,    0,    0};

// For what varies from run to run: ports and milliseconds.
std::string Masked(const std::string& text, const std::string& pattern, const std::string& by) {
    return std::regex_replace(text, std::regex(pattern), by);
}

class CliOnLoopback : public testing::Test {
protected:
    // Where the tool's broadcast lands on loopback; its port is the tool's --port.
    PeerSocket m_node{"127.0.0.255", 0, true};
    std::string Port() const { return std::to_string(m_node.Port()); }

    // The subcommand, then loopback and the test's port, then the rest of args.
    std::vector<std::string> Command(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{
            PRAVELTEST_CLI_BINARY, args.front(), "--interface", "lo", "--port", Port()};
        argv.insert(argv.end(), args.begin() + 1, args.end());
        return argv;
    }
};

// Each name once with its latest reply; what is not a reply is counted on standard error, and
// fewer nodes than --expect asks for exit with 1. A console's DMX traffic ahead of the replies
// delays them but never pushes them out.
TEST_F(CliOnLoopback, PollListsEachNameOnceAndCountsTheRest) {
    lab::Process cli(Command({"poll", "--wait", "3", "--format", "csv", "--expect", "3"}));
    const auto poll = m_node.Receive(10s);
    ASSERT_TRUE(poll) << cli.Errors();
    EXPECT_EQ(poll->bytes, Bytes("VXPP\x01"));
    EXPECT_EQ(poll->senderPort, m_node.Port()) << "the tool sends from the port it listens on";

    ByteVector dmx{'V', 'X', 'D', 'D', 0, 0, 1, 0x02, 0x00};  // as a console sends, 512 channels
    dmx.resize(522, 9);
    std::vector<ByteVector> others(100, dmx);
    others.insert(others.end(), {{},
                                 Bytes("VX"),
                                 Bytes("ABCD"),
                                 ByteVector(700),
                                 ByteVector(kTrussReply.begin(), kTrussReply.end() - 1)});
    ByteVector trussMoved = kTrussReply;
    trussMoved[32] = 0;
    PeerSocket console, nodes;
    for (const ByteVector& other : others) {
        ASSERT_TRUE(console.SendTo("127.0.0.1", m_node.Port(), other));
    }
    for (const ByteVector& reply : {kTrussReply, kFloorReply, trussMoved}) {
        ASSERT_TRUE(nodes.SendTo("127.0.0.1", m_node.Port(), reply));
    }

    const auto status = cli.Wait(20s);
    ASSERT_TRUE(status) << "still running";
    EXPECT_TRUE(status->Exited(1)) << lab::Describe(*status);
    EXPECT_EQ(
        Masked(cli.Output(), "," + std::to_string(nodes.Port()) + ",(.*),[0-9]+\n", ",P,$1,MS\n"),
        "Name,IP Address,Port,MAC Address,Node Type,Version,Switch Settings,Options,"
        "Type of Service,Packet TTL,Listen to,Listen IP Address,DMX Universe,Reply ms\n"
        "Truss,127.0.0.1,P,02 11 22 33 44 55,0203,10,0F,"
        "\"Node is configured, Enable DHCP, Enable Error Correction\",20,40,"
        "Class C Broadcast,10.1.2.255,1 (1-512),MS\n"
        "Floor-Left,127.0.0.1,P,02 00 00 00 00 0A,0001,01,00,,00,FF,Broadcast,0.0.0.0,"
        "1 (1-512),MS\n");
    EXPECT_EQ(cli.Errors(),
              "praveltest-cli: ignored 105 datagrams: empty=1 short=1 oversized=1 dmx=100 "
              "short-reply=1 unknown-code=1\n"
              "praveltest-cli: 2 of 3 expected nodes answered\n");
}

// No reply among a console's traffic: the lines on standard error count what came by kind, and
// name this test, whose socket on the port took the poll, as the program that holds it.
TEST_F(CliOnLoopback, WhenNoNodeAnswersItCountsWhatCameAndNamesWhoHoldsThePort) {
    lab::Process cli(Command({"poll", "--wait", "3"}));
    ASSERT_TRUE(m_node.Receive(10s)) << cli.Errors();
    ByteVector dmx{'V', 'X', 'D', 'D', 0, 0, 1, 0x02, 0x00};
    dmx.resize(522, 9);
    PeerSocket console;
    for (const ByteVector& other : {dmx, dmx, Bytes("VXPP\x01"), Bytes("ABCD")}) {
        ASSERT_TRUE(console.SendTo("127.0.0.1", m_node.Port(), other));
    }

    const auto status = cli.Wait(20s);
    ASSERT_TRUE(status) << "still running";
    EXPECT_TRUE(status->Exited(0)) << lab::Describe(*status);
    EXPECT_EQ(cli.Output(),
              "Name  IP Address  Port  MAC Address  Node Type  Version  Switch Settings  Options  "
              "Type of Service  Packet TTL  Listen to  Listen IP Address  DMX Universe  "
              "Reply ms\n");
    std::string errors = Masked(cli.Errors(), "\\b" + Port() + "\\b", "PORT");
    errors = Masked(errors, "\\(pid " + std::to_string(getpid()) + "\\)", "(pid TEST)");
    EXPECT_EQ(errors,
              "praveltest-cli: ignored 4 datagrams: poll=1 dmx=2 unknown-code=1\n"
              "praveltest-cli: no node answered the poll sent on lo (127.0.0.1/8) to "
              "127.0.0.255:PORT\n"
              "praveltest-cli: its own poll came back: no; 127.0.0.255 is not a broadcast address "
              "on lo (127.0.0.1/8)\n"
              "praveltest-cli: other programs on UDP port PORT on this host: node_tests (pid "
              "TEST)\n"
              "praveltest-cli: also heard: 2 DMX data messages, 1 other poll, 1 other datagram\n"
              "praveltest-cli: usual causes: a firewall blocking UDP port PORT, the wrong adapter "
              "(see --list-interfaces) or another program on the port\n");
}

// Clamped settings go out as the window's bytes, once, from the node port; a dry run prints
// them and sends nothing.
TEST_F(CliOnLoopback, LevelSendsTheWindowsBytesOrPrintsThem) {
    ByteVector level{'V', 'X', 'D', 'D', 0xFF, 0xCC, 0x00, 0x02, 0x00};
    level.insert(level.end(), 512, 0x80);
    level.push_back(0x00);
    const struct {
        std::vector<std::string> args;
        std::string output;
        ByteVector sent;  // empty for nothing
    } cases[]{
        {{"level", "128", "--universe", "300", "--channels", "600", "--start-code", "0xCC",
          "--format", "zero"},
         "sent level=128 universe=256 start-code=204 format=zero type=0 channels=512 bytes=522 "
         "to=127.0.0.255:PORT\n",
         level},
        {{"level", "255", "--channels", "20", "--universe", "2", "--format", "rle", "--dry-run"},
         "would-send level=255 universe=2 start-code=0 format=rle type=4 channels=20 bytes=30 "
         "to=127.0.0.255:PORT\n"
         "56 58 44 44 01 00 04 00 14 FF FF FF FF FF FF FF\n"
         "FF FF FF FF FF FF FF FF FF FF FF FF FF 00\n",
         {}},
    };
    for (const auto& each : cases) {
        const CommandResult result = lab::RunCommand(Command(each.args));
        EXPECT_TRUE(result.status.Exited(0)) << lab::Describe(result.status) << result.errors;
        EXPECT_EQ(Masked(result.output, ":" + Port() + "\n", ":PORT\n"), each.output);
        EXPECT_EQ(result.errors, "");
        if (!each.sent.empty()) {
            const auto got = m_node.Receive(10s);
            ASSERT_TRUE(got);
            EXPECT_EQ(got->bytes, each.sent);
            EXPECT_EQ(got->senderPort, m_node.Port());
        }
        EXPECT_FALSE(m_node.Receive(0ms)) << "sent more than the case expects";
    }
}

// What cannot run says so in one line, with how to get help for a bad command line, and exits
// with 2, sending nothing.
TEST_F(CliOnLoopback, ExitStatusAndWhatIsSaid) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string output, errors;  // the interfaces that are up shown as "..."
    } cases[]{
        {{"--version"}, 0, "praveltest-cli 1.0.0.1\n", ""},
        {{"level", "300"},
         2,
         "",
         "praveltest-cli: bad LEVEL '300': expected 0 to 255\n"
         "Try '" PRAVELTEST_CLI_BINARY " --help'.\n"},
        {{"level", "1", "--interface", "nosuch0"},
         2,
         "",
         "praveltest-cli: no interface named 'nosuch0'; up with IPv4: ...\n"},
        {{"poll", "--interface", "192.0.2.1"},
         2,
         "",
         "praveltest-cli: 192.0.2.1 is not an IPv4 address of this host; up with IPv4: ...\n"},
        {{"monitor", "--universe", "0"},
         2,
         "",
         "praveltest-cli: bad value '0' for --universe: expected 1 to 256\n"
         "Try '" PRAVELTEST_CLI_BINARY " --help'.\n"},
        {{"monitor", "--format", "screen"},
         2,
         "",
         "praveltest-cli: the screen needs a terminal on standard output; use --format log or "
         "json\n"},
        {{"monitor", "--interface", "nosuch0"},
         2,
         "",
         "praveltest-cli: no interface named 'nosuch0'; up with IPv4: ...\n"},
    };
    for (const auto& each : cases) {
        const CommandResult result = lab::RunCommand(Command(each.args));
        EXPECT_TRUE(result.status.Exited(each.status)) << lab::Describe(result.status);
        EXPECT_EQ(result.output, each.output);
        EXPECT_EQ(Masked(result.errors, "IPv4: .*", "IPv4: ..."), each.errors);
        EXPECT_FALSE(m_node.Receive(0ms)) << "sent something";
    }
}

// The time that starts each line, whose exact form unit tests check, as TIME.
std::string TimesMasked(const std::string& text) {
    return Masked(text, "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z",
                  "TIME");
}

// Two consoles on loopback addresses of their own, the second on the first one's universe 3;
// among their frames malformed ones and datagrams of other kinds. Each frame that changes a
// level makes a line, the second console a conflict, their silence a loss; malformed and
// oversized datagrams break nothing and are only counted. Piped output is the log by default.
TEST_F(CliOnLoopback, MonitorReportsWhatConsolesSendUntilStopped) {
    const struct {
        std::vector<std::string> args;
        std::string output;
    } cases[]{
        {{"monitor"},
         "TIME listening interface=lo port=PORT\n"
         "TIME found 127.0.0.2 universe=3 start-code=0 format=raw type=1 channels=3\n"
         "TIME frame 127.0.0.2 universe=3 1@255 2@255 3@0\n"
         "TIME frame 127.0.0.2 universe=3 2@128\n"
         "TIME header 127.0.0.2 universe=3 start-code=85 format=raw type=1 channels=3\n"
         "TIME found 127.0.0.2 universe=4 start-code=0 format=rle type=4 channels=1\n"
         "TIME frame 127.0.0.2 universe=4 1@7\n"
         "TIME found 127.0.0.3 universe=3 start-code=0 format=raw type=1 channels=1\n"
         "TIME frame 127.0.0.3 universe=3 1@10\n"
         "TIME conflict universe=3 127.0.0.2 127.0.0.3\n"
         "TIME lost 127.0.0.2 universe=3\n"
         "TIME lost 127.0.0.2 universe=4\n"
         "TIME lost 127.0.0.3 universe=3\n"},
        {{"monitor", "--format", "json", "--universe", "3"},
         R"({"time": "TIME", "event": "listening", "interface": "lo", "port": PORT})"
         "\n"
         R"({"time": "TIME", "event": "found", "source": "127.0.0.2", "universe": 3, )"
         R"("start_code": 0, "format": "raw", "type": 1, "channels": 3})"
         "\n"
         R"({"time": "TIME", "event": "frame", "source": "127.0.0.2", "universe": 3, )"
         R"("changes": {"1": 255, "2": 255, "3": 0}})"
         "\n"
         R"({"time": "TIME", "event": "frame", "source": "127.0.0.2", "universe": 3, )"
         R"("changes": {"2": 128}})"
         "\n"
         R"({"time": "TIME", "event": "header", "source": "127.0.0.2", "universe": 3, )"
         R"("start_code": 85, "format": "raw", "type": 1, "channels": 3})"
         "\n"
         R"({"time": "TIME", "event": "found", "source": "127.0.0.3", "universe": 3, )"
         R"("start_code": 0, "format": "raw", "type": 1, "channels": 1})"
         "\n"
         R"({"time": "TIME", "event": "frame", "source": "127.0.0.3", "universe": 3, )"
         R"("changes": {"1": 10}})"
         "\n"
         R"({"time": "TIME", "event": "conflict", "universe": 3, )"
         R"("sources": ["127.0.0.2", "127.0.0.3"]})"
         "\n"
         R"({"time": "TIME", "event": "lost", "source": "127.0.0.2", "universe": 3})"
         "\n"
         R"({"time": "TIME", "event": "lost", "source": "127.0.0.3", "universe": 3})"
         "\n"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.args.back());
        lab::Process cli(Command(each.args));
        ASSERT_TRUE(cli.WaitForLine(
            [](const std::string& line) { return line.find("listening") != std::string::npos; },
            10s))
            << cli.Errors();
        PeerSocket first("127.0.0.2"), second("127.0.0.3");
        ByteVector oversized = DmxFrame(3, {});
        oversized.resize(700, 1);
        for (const ByteVector& datagram :
             {DmxFrame(3, {255, 255, 0}), DmxFrame(3, {255, 255, 0}), DmxFrame(3, {255, 128, 0}),
              DmxFrame(3, {255, 128, 0}, 0x55), DmxFrame(4, {7}, 0, 4), Bytes("VXDD"),
              DmxFrame(3, {1, 2}, 0, 1, 600), Bytes("VXPP\x01"), oversized}) {
            ASSERT_TRUE(first.SendTo("127.0.0.1", m_node.Port(), datagram));
        }
        ASSERT_TRUE(second.SendTo("127.0.0.1", m_node.Port(), DmxFrame(3, {10})));

        // Silence: lost after 2.5 s, the latest sender last.
        EXPECT_TRUE(cli.WaitForLine(
            [](const std::string& line) {
                return line.find("lost") != std::string::npos &&
                       line.find("127.0.0.3") != std::string::npos;
            },
            15s))
            << cli.Output();
        const lab::ExitStatus status = cli.Stop();
        EXPECT_TRUE(status.Exited(0)) << lab::Describe(status);
        EXPECT_EQ(Masked(TimesMasked(cli.Output()), "\\b" + Port() + "\\b", "PORT"), each.output);
        EXPECT_EQ(cli.Errors(),
                  "praveltest-cli: monitored sources=3 universes=2 frames=6 malformed=2 "
                  "conflicts=1 lost=3 other=2\n");
    }
}

// --seconds ends it by itself; with nothing heard, the log has its first line alone.
TEST_F(CliOnLoopback, MonitorStopsAfterTheSecondsGiven) {
    const CommandResult result = lab::RunCommand(Command({"monitor", "--seconds", "0.2"}));
    EXPECT_TRUE(result.status.Exited(0)) << lab::Describe(result.status);
    EXPECT_EQ(Masked(TimesMasked(result.output), "\\b" + Port() + "\\b", "PORT"),
              "TIME listening interface=lo port=PORT\n");
    EXPECT_EQ(result.errors,
              "praveltest-cli: monitored sources=0 universes=0 frames=0 malformed=0 conflicts=0 "
              "lost=0 other=0\n");
}

}  // namespace
