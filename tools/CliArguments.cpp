#include "tools/CliArguments.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "net/HostAddress.h"

namespace clitool {
namespace {

constexpr std::array<const char*, 4> kDataFormatNames{"raw", "rle", "pairs", "zero"};
constexpr double kMaxWaitSeconds = 3600;
constexpr int kMaxExpect = 1000000;

// Decimal with an optional minus sign, or 0x and hex digits; nothing else, nothing after.
std::optional<long long> ParseInteger(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    if (first == last) return std::nullopt;
    long long value = 0;
    const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (error != std::errc{} || end != last) return std::nullopt;
    return value;
}

// Settings go through the window's clamping, so any int is taken; beyond int is an error.
std::optional<int> ParseSetting(const std::string& text) {
    const auto value = ParseInteger(text);
    if (!value || *value < std::numeric_limits<int>::min() ||
        *value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

std::optional<int> ParseWaitMilliseconds(const std::string& text) {
    double seconds = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, seconds);
    if (text.empty() || error != std::errc{} || end != last || !(seconds > 0) ||
        seconds > kMaxWaitSeconds) {
        return std::nullopt;
    }
    return static_cast<int>(std::lround(seconds * 1000));
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : m_args(args) {}

    Arguments Run() {
        for (const std::string& arg : m_args) {
            if (arg == "--help" || arg == "-h") return Finish(Action::Help);
            if (arg == "--version") return Finish(Action::Version);
            if (arg == "--list-interfaces") return Finish(Action::ListInterfaces);
        }
        if (m_args.empty()) return Fail("no subcommand given; expected poll or level");
        const std::string& command = m_args[0];
        if (command == "poll") {
            m_result.action = Action::Poll;
        } else if (command == "level") {
            m_result.action = Action::Level;
        } else {
            return Fail("unknown subcommand '" + command + "'; expected poll or level");
        }
        bool levelGiven = false;
        for (m_index = 1; m_index < m_args.size() && m_result.action != Action::Error; ++m_index) {
            const std::string& arg = m_args[m_index];
            if (arg.rfind("--", 0) == 0) {
                Option(arg);
            } else if (m_result.action == Action::Level && !levelGiven) {
                levelGiven = true;
                Level(arg);
            } else {
                Fail("unexpected argument '" + arg + "'");
            }
        }
        if (m_result.action == Action::Level && !levelGiven) Fail("level needs LEVEL, 0 to 255");
        return m_result;
    }

private:
    Arguments Finish(Action action) {
        m_result.action = action;
        return m_result;
    }

    Arguments Fail(std::string error) {
        m_result.action = Action::Error;
        m_result.error = std::move(error);
        return m_result;
    }

    void Level(const std::string& text) {
        const auto level = ParseInteger(text);
        if (!level || *level < 0 || *level > 255) {
            Fail("bad LEVEL '" + text + "': expected 0 to 255");
            return;
        }
        m_result.level.level = static_cast<std::uint8_t>(*level);
    }

    void Option(const std::string& arg) {
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const bool poll = m_result.action == Action::Poll;
        if (name == "--dry-run" && !poll) {
            if (equals != std::string::npos) Fail("option '--dry-run' takes no value");
            m_result.level.dryRun = true;
            return;
        }
        using Names = std::vector<std::string>;
        static const Names kCommon{"--interface", "--port", "--format"};
        static const Names kPoll{"--wait", "--expect"};
        static const Names kLevel{"--universe", "--channels", "--start-code"};
        auto known = [&name](const Names& names) {
            return std::find(names.begin(), names.end(), name) != names.end();
        };
        if (!known(kCommon) && !known(poll ? kPoll : kLevel)) {
            const bool other = known(poll ? kLevel : kPoll) || name == "--dry-run";
            Fail("unknown option '" + name + "'" +
                 (other ? std::string(" for ") + (poll ? "poll" : "level") : ""));
            return;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (m_index + 1 < m_args.size()) {
            value = m_args[++m_index];
        } else {
            Fail("option '" + name + "' needs a value");
            return;
        }
        if (const auto problem = Set(name, value)) {
            Fail("bad value '" + value + "' for " + name + ": " + *problem);
        }
    }

    std::optional<std::string> Set(const std::string& name, const std::string& value) {
        if (name == "--interface") {
            if (value.empty()) return "expected an interface NAME or A.B.C.D";
            m_result.interfaceChoice = value;
        } else if (name == "--port") {
            const auto port = ParseInteger(value);
            if (!port || *port < 1 || *port > 65535) return "expected 1 to 65535";
            m_result.port = static_cast<std::uint16_t>(*port);
        } else if (name == "--format") {
            return m_result.action == Action::Poll ? SetPollFormat(value) : SetDataFormat(value);
        } else if (name == "--wait") {
            const auto wait = ParseWaitMilliseconds(value);
            if (!wait) return "expected seconds, more than 0 and at most 3600";
            m_result.poll.waitMilliseconds = *wait;
        } else if (name == "--expect") {
            const auto expect = ParseInteger(value);
            if (!expect || *expect < 0 || *expect > kMaxExpect) return "expected 0 to 1000000";
            m_result.poll.expect = static_cast<int>(*expect);
        } else {
            const auto setting = ParseSetting(value);
            if (!setting) return "expected a whole number";
            output::OutputSettings& settings = m_result.level.settings;
            (name == "--universe"   ? settings.universe
             : name == "--channels" ? settings.channelCount
                                    : settings.startCode) = *setting;
        }
        return std::nullopt;
    }

    std::optional<std::string> SetPollFormat(const std::string& value) {
        if (value == "table") {
            m_result.poll.format = PollFormat::Table;
        } else if (value == "json") {
            m_result.poll.format = PollFormat::Json;
        } else if (value == "csv") {
            m_result.poll.format = PollFormat::Csv;
        } else {
            return "expected table, json or csv";
        }
        return std::nullopt;
    }

    std::optional<std::string> SetDataFormat(const std::string& value) {
        for (std::size_t i = 0; i < kDataFormatNames.size(); ++i) {
            if (value == kDataFormatNames[i]) {
                m_result.level.settings.dataFormat = static_cast<int>(i);
                return std::nullopt;
            }
        }
        return "expected raw, rle, pairs or zero";
    }

    const std::vector<std::string>& m_args;
    std::size_t m_index = 0;
    Arguments m_result;
};

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& args) {
    return Parser(args).Run();
}

const char* DataFormatName(int dataFormat) {
    if (dataFormat < 0 || dataFormat >= static_cast<int>(kDataFormatNames.size())) return "raw";
    return kDataFormatNames[static_cast<std::size_t>(dataFormat)];
}

std::string HelpText(const std::string& program) {
    return "Usage: " + program +
           R"( poll [--wait SECONDS] [--expect N] [--format table|json|csv] [COMMON]
       )" + program +
           R"( level LEVEL [--universe U] [--channels N] [--start-code S]
             [--format raw|rle|pairs|zero] [--dry-run] [COMMON]
       )" + program +
           R"( --list-interfaces | --help | --version
Polls DMX512 lighting nodes and sends them DMX levels from a shell, by UDP
broadcast on port 3333, with the same bytes and the same broadcast address as
the praveltest window.

poll: sends one poll and lists every node that answers within the wait, one
record per node name (the latest reply for a name wins), in the order in which
the nodes first answered.
  --wait SECONDS         how long to collect replies (default 3; decimals allowed)
  --expect N             exit with 1 when fewer than N nodes answered
  --format table|json|csv
                         table: aligned columns under a header line;
                         json: one object per line; csv: a header line, then
                         one line per node (default table)
Each record holds the node's name, the eleven values that the window's tree
shows, the reply's source port and the milliseconds from the poll to the reply.
Datagrams that are not poll replies are never listed; one line on standard
error counts them by kind: empty, short (under 4 bytes), oversized (over 600
bytes), poll, dmx, short-reply (a poll reply under 33 bytes), unexpected
(VXAP), never-seen (VXZZ, XVCN) and unknown-code.

level: sends one DMX data message that sets channels 1 to N of one universe
to LEVEL (0 to 255), and prints one line saying what went where:
  sent level=L universe=U start-code=S format=F type=T channels=N bytes=B to=A.B.C.D:PORT
  --universe U           1 to 256 (default 1)
  --channels N           1 to 512 (default 512)
  --start-code S         0 to 255 (default 0)
  --format raw|rle|pairs|zero
                         the data-type byte: raw 1, rle 4, pairs 2, zero 0
                         (default raw); the data is always the plain levels
  --dry-run              print the line with "would-send" for "sent" and the
                         datagram in hex, 16 bytes a line; send nothing
Values outside the ranges are clamped, as the window clamps them. Numbers are
decimal or 0x hex.

COMMON:
  --interface NAME|A.B.C.D  send to a.b.c.255 of this interface's address;
                            without it the address is chosen as the window
                            chooses it (see praveltest --help)
  --port N                  UDP port to bind and send to (default 3333)
  --list-interfaces         list this host's IPv4 interfaces that are up, as
                            praveltest --list-interfaces does, and exit
  -h, --help                show this text and exit
  --version                 show the version and exit

Exit status: 0 on success; 1 when fewer nodes answered than --expect asks
for, or when the socket cannot be bound or the datagram cannot be sent; 2 for
a bad command line or an interface that does not exist, is down or has no IPv4
address (one line on standard error; nothing is sent).
)";
}

}  // namespace clitool
