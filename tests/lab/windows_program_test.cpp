// The real praveltest.exe under Wine: its command line answering on the caller's output; and,
// on the lab's tool host and the X display the Windows check provides, beside Linux
// praveltest-node hosts, driven with the keyboard as a person would, its window read back with
// OCR, its datagrams caught on the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "protocol/NodeProtocol.h"
#include "testing/Console.h"
#include "testing/LabNode.h"
#include "testing/PeerSocket.h"
#include "testing/Process.h"
#include "testing/Wait.h"
#include "tests/lab/Wine.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Datagram;
using testing_support::PeerSocket;
using testing_support::WinePrefix;

// A cold start of Wine and Qt on a busy machine.
constexpr auto kWineStart = 60s;
constexpr auto kOnScreen = 20s;

const std::vector<std::uint8_t> kPoll{'V', 'X', 'P', 'P', 0x01};

// Universe 1, start code 0, raw, 512 channels, every one at 255, and the zero trailer.
std::vector<std::uint8_t> FullLevelMessage() {
    std::vector<std::uint8_t> bytes{'V', 'X', 'D', 'D', 0x00, 0x00, 0x01, 0x02, 0x00};
    bytes.insert(bytes.end(), 512, 0xFF);
    bytes.push_back(0x00);
    return bytes;
}

std::string Shell(const std::string& command, std::chrono::milliseconds timeout = 20s) {
    return lab::RunCommand({"sh", "-c", command}, timeout).output;
}

// The desktop the program shows on: X windows found by title, keys typed into them, and the
// text a person would read there.
class Desktop {
public:
    static bool Available() { return std::getenv("DISPLAY") != nullptr; }

    // The id of the mapped window with exactly this title, waited for; empty when none came.
    // Wine names a window before it maps it, and focusing it then is an X error.
    static std::string WaitForWindow(const std::string& title, std::chrono::seconds timeout) {
        std::string id;
        testing_support::WaitUntil(
            timeout,
            [&] {
                id = Shell("xdotool search --onlyvisible --name '^" + title + "$' | head -n 1");
                return !id.empty();
            },
            [] { std::this_thread::sleep_for(200ms); });
        return id.substr(0, id.find('\n'));
    }

    // Types keys, as xdotool names them, into the window.
    static void Type(const std::string& window, const std::string& keys) {
        Shell("xdotool windowfocus --sync " + window + " key --delay 100 " + keys);
    }

    // Opens a menu with keys, chooses from it with a key and returns the window titled title
    // that this opens; empty when none did. A menu that has just appeared may not take keys
    // yet, so a choice that opened nothing is tried again, a few times.
    static std::string ChooseFromMenu(const std::string& window, const std::string& open,
                                      const std::string& choose, const std::string& title) {
        std::string shown;
        for (int attempt = 0; attempt < 5 && shown.empty(); ++attempt) {
            const std::size_t before = VisibleWindows();
            Type(window, open);
            testing_support::WaitUntil(
                3s, [&] { return VisibleWindows() > before; },
                [] { std::this_thread::sleep_for(100ms); });
            Shell("xdotool key " + choose);
            shown = WaitForWindow(title, 3s);
            if (shown.empty()) Shell("xdotool key Escape");
        }
        return shown;
    }

    // The window's text as OCR reads it, enlarged first: dialog fonts are small.
    static std::string Text(const std::string& window) {
        return Shell("import -window " + window +
                     " png:- | convert png:- -resize 300% -colorspace Gray png:- | "
                     "tesseract stdin stdout 2>/dev/null");
    }

    // Waits until the window's text holds every one of words; false with the last reading in
    // *seen when it never did.
    static bool WaitForText(const std::string& window, const std::vector<std::string>& words,
                            std::chrono::seconds timeout, std::string* seen) {
        return WaitForAnyWithText({window}, words, timeout, seen);
    }
    // The same for a window among all those with this title.
    static bool WaitForTitledWithText(const std::string& title,
                                      const std::vector<std::string>& words,
                                      std::chrono::seconds timeout, std::string* seen) {
        return WaitForAnyWithText({}, words, timeout, seen, title);
    }

private:
    static bool WaitForAnyWithText(std::vector<std::string> windows,
                                   const std::vector<std::string>& words,
                                   std::chrono::seconds timeout, std::string* seen,
                                   const std::string& title = {}) {
        const auto found = [&] {
            if (!title.empty())
                windows = Lines(Shell("xdotool search --onlyvisible --name '^" + title + "$'"));
            seen->clear();
            for (const std::string& window : windows) {
                const std::string text = Text(window);
                *seen += text + "\n";
                bool all = true;
                for (const std::string& word : words) all = all && text.find(word) != text.npos;
                if (all) return true;
            }
            return false;
        };
        // Reading a window takes long enough; no pause between readings.
        return testing_support::WaitUntil(timeout, found, [] {});
    }
    static std::size_t VisibleWindows() {
        return Lines(Shell("xdotool search --onlyvisible --name '.*'")).size();
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != text.npos; start = end + 1) {
            if (end > start) lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
};

// What a command line prints and returns; the program opens no window for any of these.
struct CommandLineCase {
    std::vector<std::string> arguments;
    int exitCode;
    std::string outputStart;  // of standard output
    std::string outputHas;
    std::string errorsStart;  // of standard error, which is one line at most
};

class WindowsCommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(WindowsCommandLine, AnswersOnTheCallersOutputWithTheLinuxExitCode) {
    REQUIRE_WINDOWS_BUILD(PRAVELTEST_WINDOWS_PROGRAM);
    const CommandLineCase& each = GetParam();
    WinePrefix prefix;
    std::vector<std::string> argv{testing_support::FindWine(), PRAVELTEST_WINDOWS_PROGRAM};
    argv.insert(argv.end(), each.arguments.begin(), each.arguments.end());
    lab::Process program(argv, prefix.Environment());
    const auto status = program.Wait(kWineStart);
    ASSERT_TRUE(status) << "still running";
    EXPECT_TRUE(status->Exited(each.exitCode)) << lab::Describe(*status);
    // A Windows program's text output ends its lines with \r\n; the text is the same.
    std::string output = program.Output();
    std::erase(output, '\r');
    EXPECT_TRUE(output.starts_with(each.outputStart)) << output;
    EXPECT_NE(output.find(each.outputHas), output.npos) << output;
    std::string errors = program.Errors();
    std::erase(errors, '\r');
    EXPECT_TRUE(errors.starts_with(each.errorsStart)) << errors;
    EXPECT_LE(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    if (each.errorsStart.empty()) {
        EXPECT_EQ(errors, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, WindowsCommandLine,
    testing::Values(
        CommandLineCase{{"--version"}, 0, "praveltest 1.0.0.1\n", "", ""},
        CommandLineCase{{"--help"}, 0, "Usage: ", "by UDP broadcast on port 3333.\n", ""},
        // Loopback is the one adapter inside the check's namespace.
        CommandLineCase{
            {"--list-interfaces"}, 0, "", " address=127.0.0.1/8 sends-to=127.0.0.255", ""},
        CommandLineCase{
            {"--bogus"}, 2, "", "", "praveltest: unknown option '--bogus'; try --help\n"},
        CommandLineCase{{"--interface", "nosuch"},
                        2,
                        "",
                        "",
                        "praveltest: no interface named 'nosuch'; up with IPv4: "}),
    [](const testing::TestParamInfo<CommandLineCase>& info) {
        std::string name;
        for (char c : info.param.arguments.front()) {
            if (std::isalnum(static_cast<unsigned char>(c))) name += c;
        }
        return name;
    });

class WindowsProgramInLab : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_WINDOWS_BUILD(PRAVELTEST_WINDOWS_PROGRAM);
        REQUIRE_LAB();
        if (!Desktop::Available()) {
            if (lab::Required()) FAIL() << "no X display in CI; scripts/check-windows.sh runs Xvfb";
            GTEST_SKIP() << "no X display; scripts/check-windows.sh runs these under Xvfb";
        }
        m_prefix = std::make_unique<WinePrefix>();
        m_lab = std::make_unique<lab::Lab>();
        // Catches what the program sends, on a host of its own.
        const std::string observerHost = m_lab->AddHost("10.1.2.20");
        m_observer = lab::InNamespace(observerHost, [] {
            return std::make_unique<PeerSocket>("0.0.0.0", protocol::kNodePort, true);
        });
    }
    void TearDown() override {
        if (m_program) m_program->Stop();
        m_program.reset();
        m_nodes.clear();
        m_prefix.reset();
    }

    lab::Process& StartNode(const std::string& address, const std::string& name, int network = 0) {
        m_nodes.push_back(lab::StartNode(PRAVELTEST_NODE_BINARY,
                                         m_lab->AddHost(address, -1, network), {"--name", name}));
        return *m_nodes.back();
    }

    // Starts the program and waits for its window and, when an observer is there, its
    // start-up poll.
    void StartProgram(const std::vector<std::string>& options = {}) {
        std::vector<std::string> argv{testing_support::FindWine(), PRAVELTEST_WINDOWS_PROGRAM};
        argv.insert(argv.end(), options.begin(), options.end());
        m_program = std::make_unique<lab::Process>(
            lab::Lab::ExecCommand(m_lab->ToolNamespace(), argv), m_prefix->Environment());
        if (m_observer) {
            const std::optional<Datagram> poll = FromProgram(kWineStart);
            ASSERT_TRUE(poll) << "no start-up poll; program stderr: " << m_program->Errors();
            EXPECT_EQ(poll->bytes, kPoll);
        }
        m_window = Desktop::WaitForWindow("PraveltTest", kWineStart);
        ASSERT_FALSE(m_window.empty()) << "no window titled PraveltTest";
    }

    // The next datagram the program sent, passing over a console's.
    std::optional<Datagram> FromProgram(std::chrono::milliseconds timeout) {
        return m_observer->ReceiveMatching(timeout, [](const Datagram& datagram) {
            return datagram.senderAddress == lab::kToolAddress;
        });
    }

    // Wine's reg command on the tool host, where this prefix's wineserver runs; its output.
    std::string Registry(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{testing_support::FindWine(), "reg"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        lab::Process reg(lab::Lab::ExecCommand(m_lab->ToolNamespace(), argv),
                         m_prefix->Environment());
        const auto status = reg.Wait(kWineStart);
        EXPECT_TRUE(status && status->Exited(0))
            << (status ? lab::Describe(*status) : "still running") << ": " << reg.Errors();
        return reg.Output();
    }

    // A marker sent from the tool host after the program's sends: whatever the node at
    // 10.1.2.21 heard before it came from the program, and it must have heard nothing else.
    void ExpectTheFirstNodeHeardNothingFromTheProgram(const lab::Process& first) {
        lab::InNamespace(m_lab->ToolNamespace(), [] {
            PeerSocket sender("0.0.0.0", 4000, true);
            ASSERT_TRUE(sender.SendTo("10.1.2.21", protocol::kNodePort, {'M', 'A', 'R', 'K'}));
        });
        ASSERT_TRUE(first.WaitForLineStartingWith("ignored ", 10s)) << first.Output();
        EXPECT_EQ(first.OutputLines(),
                  (std::vector<std::string>{"ready bind=0.0.0.0 port=3333 nodes=1",
                                            "ignored from=10.1.2.3:4000 length=4"}));
    }

    void ExpectListed(const std::vector<std::string>& names) {
        std::string seen;
        EXPECT_TRUE(Desktop::WaitForText(m_window, names, kOnScreen, &seen))
            << "the window reads:\n"
            << seen;
    }

    std::unique_ptr<WinePrefix> m_prefix;
    std::unique_ptr<lab::Lab> m_lab;
    std::unique_ptr<PeerSocket> m_observer;
    std::vector<std::unique_ptr<lab::Process>> m_nodes;
    std::unique_ptr<lab::Process> m_program;
    std::string m_window;
};

// The focus starts on the tree; two tabs reach the slider, and Home is a full level: one
// message for the key press and one for its end of scroll.
TEST_F(WindowsProgramInLab, ListsTheNodesAndALevelReachesThemByteForByte) {
    lab::Process& alpha = StartNode("10.1.2.21", "ALPHA");
    StartNode("10.1.2.22", "BRAVO");
    StartProgram();
    ExpectListed({"ALPHA", "BRAVO", "IP Address: 10.1.2.21", "IP Address: 10.1.2.22"});

    Desktop::Type(m_window, "Tab Tab Home");
    const std::vector<Datagram> sent = m_observer->ReceiveFor(10s, 2);
    ASSERT_EQ(sent.size(), 2u);
    for (const Datagram& message : sent) {
        EXPECT_EQ(message.bytes, FullLevelMessage());
        EXPECT_EQ(message.senderAddress, lab::kToolAddress);
        EXPECT_EQ(message.senderPort, protocol::kNodePort);
    }
    EXPECT_TRUE(alpha.WaitForLineStartingWith("dmx ", 5s)) << alpha.Output();
}

// The window menu ends with About, Network, DMX Monitor and Channel Check; Up from the first item
// reaches the last, so four reach About, whose mnemonic A is shared with Wine's own "About Wine".
TEST_F(WindowsProgramInLab, AboutOpensFromTheWindowMenu) {
    StartProgram();
    ExpectListed({"Devices Located", "Poll Again"});  // drawn, so it takes keys
    const std::string about =
        Desktop::ChooseFromMenu(m_window, "alt+space", "Up Up Up Up Return", "About PraveltTest");
    ASSERT_FALSE(about.empty()) << "no About box";
    std::string seen;
    EXPECT_TRUE(Desktop::WaitForText(about, {"PraveltTest Version 1.0"}, kOnScreen, &seen))
        << "the About box reads:\n"
        << seen;
}

// Channel Check is the window menu's last item, which Up reaches from the first. Start lights
// channel 1 of 1 to 512; closing the window sets all 512 to 0.
TEST_F(WindowsProgramInLab, ChannelCheckLightsAChannelAndClosingSetsItsChannelsToZero) {
    StartProgram();
    ExpectListed({"Devices Located", "Poll Again"});
    const std::string check =
        Desktop::ChooseFromMenu(m_window, "alt+space", "Up Return", "Channel Check");
    ASSERT_FALSE(check.empty()) << "no Channel Check window";
    Desktop::Type(check, "alt+s");
    std::vector<std::uint8_t> lit{'V', 'X', 'D', 'D', 0x00, 0x00, 0x01, 0x02, 0x00, 0xFF};
    lit.resize(protocol::kDmxBufferLength, 0x00);
    const std::optional<Datagram> first = FromProgram(10s);
    ASSERT_TRUE(first) << "nothing sent on Start";
    EXPECT_EQ(first->bytes, lit);
    std::string seen;
    // OCR reads Tahoma's 5 as 3 now and then: the words, not the numbers.
    EXPECT_TRUE(
        Desktop::WaitForText(check, {"Sending to channels", "of universe"}, kOnScreen, &seen))
        << "the window reads:\n"
        << seen;
    Desktop::Type(check, "alt+F4");
    std::vector<std::uint8_t> zero(lit);
    zero[protocol::kDmxHeaderLength] = 0x00;
    // Refreshes of the lit frame may come first, once a second.
    std::optional<Datagram> last;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline && (!last || last->bytes != zero)) {
        last = FromProgram(1s);
        if (last) {
            EXPECT_TRUE(last->bytes == zero || last->bytes == lit);
        }
    }
    ASSERT_TRUE(last && last->bytes == zero) << "no frame with every channel at 0";
}

// The monitor comes just before the window menu's last item.
TEST_F(WindowsProgramInLab, TheMonitorShowsAConsolesSource) {
    testing_support::Console console(m_lab->AddHost("10.1.2.40"), 1, "10.1.2.255");
    StartProgram();
    ExpectListed({"Devices Located", "Poll Again"});
    const std::string monitor =
        Desktop::ChooseFromMenu(m_window, "alt+space", "Up Up Return", "DMX Monitor");
    ASSERT_FALSE(monitor.empty()) << "no DMX Monitor window";
    std::string seen;
    EXPECT_TRUE(Desktop::WaitForText(monitor, {"10.1.2.40", "Live"}, kOnScreen, &seen))
        << "the monitor reads:\n"
        << seen;
}

// 64 universes at 44 Hz: 2,816 datagrams a second on the program's port while it works.
TEST_F(WindowsProgramInLab, BesideAConsoleANewNodeIsListedAfterPollAgain) {
    StartNode("10.1.2.21", "ALPHA");
    testing_support::Console console(m_lab->AddHost("10.1.2.40"), 64, "10.1.2.255");
    StartProgram();
    ExpectListed({"ALPHA"});
    lab::Process& delta = StartNode("10.1.2.23", "DELTA");
    Desktop::Type(m_window, "Tab space");  // Poll Again follows the tree
    EXPECT_TRUE(delta.WaitForLineStartingWith("poll ", 10s)) << delta.Output();
    ExpectListed({"ALPHA", "DELTA"});
    EXPECT_GT(console.Rounds(), 44) << "the console was not sending";
}

// --interface ties the program to the second network's adapter, by index (IP_UNICAST_IF): its
// polls reach only that network, even once the adapter is pulled and a default route through
// the first network would take them. (Whether a send on the pulled adapter is reported as
// failed is the system's to say; Wine sends it nowhere and reports nothing.)
TEST_F(WindowsProgramInLab, TheChosenAdapterAloneCarriesItsTraffic) {
    m_observer.reset();  // the first network hears nothing from the program
    m_lab->AddSecondNetwork();
    lab::Ip({"-n", m_lab->ToolNamespace(), "route", "add", "default", "via", "10.1.2.1"});
    lab::Process& first = StartNode("10.1.2.21", "FIRST");
    lab::Process& second = StartNode("10.7.0.21", "SECOND", 1);
    StartProgram({"--interface", "eth1"});
    ASSERT_TRUE(second.WaitForLineStartingWith("poll ", kWineStart)) << m_program->Errors();
    ExpectListed({"SECOND"});
    const auto polls = [&second] {
        const auto lines = second.OutputLines();
        return std::count_if(lines.begin(), lines.end(),
                             [](const std::string& line) { return line.starts_with("poll "); });
    };
    Desktop::Type(m_window, "Tab space");  // Poll Again, which follows the tree
    ASSERT_TRUE(second.WaitForLine([&](const std::string&) { return polls() == 2; }, 10s))
        << second.Output();

    m_lab->SetLink(m_lab->ToolNamespace(), "down", lab::kSecondInterface);
    Desktop::Type(m_window, "space");
    ExpectTheFirstNodeHeardNothingFromTheProgram(first);
}

// The kept choice, in the registry where the window keeps it, decides at start: the start-up
// poll reaches the second network alone, and the Network window, third from the window menu's
// end, says the user chose it. Choosing the first network's adapter there by keyboard keeps
// that one in the registry instead.
TEST_F(WindowsProgramInLab, TheAdapterKeptInTheRegistryCarriesTheStartUpPollAndAChoiceIsKept) {
    m_observer.reset();  // the first network hears nothing from the program
    m_lab->AddSecondNetwork();
    lab::Process& first = StartNode("10.1.2.21", "FIRST");
    lab::Process& second = StartNode("10.7.0.21", "SECOND", 1);
    const std::string key = R"(HKCU\Software\PraveltTest\PraveltTest\Network)";
    Registry({"add", key, "/v", "Interface", "/d", lab::kSecondInterface, "/f"});
    StartProgram();
    ASSERT_TRUE(second.WaitForLineStartingWith("poll ", kWineStart)) << m_program->Errors();
    ExpectListed({"SECOND"});
    ExpectTheFirstNodeHeardNothingFromTheProgram(first);

    const std::string network =
        Desktop::ChooseFromMenu(m_window, "alt+space", "Up Up Up Return", "Network");
    ASSERT_FALSE(network.empty()) << "no Network window";
    // OCR misreads the name's last characters at this size ("eth]", "=]"): the line is known by
    // the address it names, and the name by what the registry holds.
    std::string seen;
    EXPECT_TRUE(Desktop::WaitForText(
        network, {"In use: ", "10.7.0.3/24, sending to 10.7.0.255:3333 (chosen by you)"}, kOnScreen,
        &seen))
        << "the Network window reads:\n"
        << seen;
    // Typed letters find the row by its name; the Use button's mnemonic chooses it.
    Desktop::Type(network, "e t h 0 alt+u");
    std::string kept;
    EXPECT_TRUE(testing_support::WaitUntil(
        10s,
        [&] {
            kept = Registry({"query", key, "/v", "Interface"});
            return kept.find("eth0") != kept.npos;
        },
        [] { std::this_thread::sleep_for(200ms); }))
        << "the registry holds:\n"
        << kept;
    EXPECT_TRUE(Desktop::WaitForText(
        network, {"In use: ", "10.1.2.3/24, sending to 10.1.2.255:3333 (chosen by you)"}, kOnScreen,
        &seen))
        << "the Network window reads:\n"
        << seen;
}

}  // namespace
