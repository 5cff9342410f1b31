#include "tools/CliArguments.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "tools/ToolOptions.h"

namespace clitool {
namespace {

using tooloptions::Problem;

constexpr std::array<const char*, 4> kDataFormatNames{"raw", "rle", "pairs", "zero"};
constexpr double kMaxWaitSeconds = 3600;
constexpr double kMaxMonitorSeconds = 7 * 24 * 3600;
constexpr int kMaxExpect = 1000000;

// Seconds, decimals allowed, more than 0 and at most max, as milliseconds.
auto SecondsReader(double max) {
    return [max](const std::string& text) -> std::optional<int> {
        double seconds = 0;
        const char* last = text.data() + text.size();
        const auto [end, error] = std::from_chars(text.data(), last, seconds);
        if (text.empty() || error != std::errc{} || end != last || !(seconds > 0) ||
            seconds > max) {
            return std::nullopt;
        }
        return static_cast<int>(std::lround(seconds * 1000));
    };
}

// Settings go through the window's clamping, so any int is taken; beyond int is an error.
tooloptions::Setter Setting(int& setting) {
    return tooloptions::Integer(setting, std::numeric_limits<int>::min(),
                                std::numeric_limits<int>::max(), "expected a whole number");
}

// Sets field to the value that follows the word given, the words in order.
template <typename T>
Problem SetWord(T& field, const std::string& value,
                std::initializer_list<std::pair<std::string_view, T>> words, const char* expected) {
    for (const auto& [word, meaning] : words) {
        if (value == word) {
            field = meaning;
            return std::nullopt;
        }
    }
    return expected;
}

Problem SetPollFormat(PollFormat& format, const std::string& value) {
    return SetWord(
        format, value,
        {{"table", PollFormat::Table}, {"json", PollFormat::Json}, {"csv", PollFormat::Csv}},
        "expected table, json or csv");
}

Problem SetMonitorFormat(MonitorFormat& format, const std::string& value) {
    return SetWord(format, value,
                   {{"screen", MonitorFormat::Screen},
                    {"log", MonitorFormat::Log},
                    {"json", MonitorFormat::Json}},
                   "expected screen, log or json");
}

Problem SetDataFormat(int& dataFormat, const std::string& value) {
    for (std::size_t i = 0; i < kDataFormatNames.size(); ++i) {
        if (value == kDataFormatNames[i]) {
            dataFormat = static_cast<int>(i);
            return std::nullopt;
        }
    }
    return "expected raw, rle, pairs or zero";
}

// The options of result's subcommand, and the other ones' by name only.
std::vector<tooloptions::Option> Table(Arguments& result) {
    const Action action = result.action;
    std::vector<tooloptions::Option> table{
        {"--interface",
         [&result](const std::string& value) -> Problem {
             if (value.empty()) return "expected an interface NAME or A.B.C.D";
             result.interfaceChoice = value;
             return std::nullopt;
         }},
        {"--port", tooloptions::Integer(result.port, 1, 65535, "expected 1 to 65535")},
        {"--format",
         [&result, action](const std::string& value) {
             switch (action) {
                 case Action::Poll:
                     return SetPollFormat(result.poll.format, value);
                 case Action::Monitor:
                     return SetMonitorFormat(result.monitor.format, value);
                 default:
                     return SetDataFormat(result.level.settings.dataFormat, value);
             }
         }},
    };
    const std::vector<tooloptions::Option> pollOnly{
        {"--wait", tooloptions::Parsed(result.poll.waitMilliseconds, SecondsReader(kMaxWaitSeconds),
                                       "expected seconds, more than 0 and at most 3600")},
        {"--expect",
         tooloptions::Integer(result.poll.expect, 0, kMaxExpect, "expected 0 to 1000000")},
    };
    output::OutputSettings& settings = result.level.settings;
    const std::vector<tooloptions::Option> levelOnly{
        {"--universe", Setting(settings.universe)},
        {"--channels", Setting(settings.channelCount)},
        {"--start-code", Setting(settings.startCode)},
        {"--dry-run",
         [&result](const std::string&) -> Problem {
             result.level.dryRun = true;
             return std::nullopt;
         },
         true},
    };
    // Unlike a level's, which is clamped as the window clamps it, a universe to watch must exist.
    const std::vector<tooloptions::Option> monitorOnly{
        {"--universe", tooloptions::Integer(result.monitor.universe, 1, 256, "expected 1 to 256")},
        {"--seconds",
         tooloptions::Parsed(result.monitor.milliseconds, SecondsReader(kMaxMonitorSeconds),
                             "expected seconds, more than 0 and at most 604800")},
    };
    const std::pair<Action, const std::vector<tooloptions::Option>*> own[]{
        {Action::Poll, &pollOnly}, {Action::Level, &levelOnly}, {Action::Monitor, &monitorOnly}};
    for (const auto& [owner, options] : own) {
        if (owner == action) table.insert(table.end(), options->begin(), options->end());
    }
    for (const auto& [owner, options] : own) {
        for (const auto& option : *options) {
            const auto named = [&](const auto& taken) { return taken.name == option.name; };
            if (std::none_of(table.begin(), table.end(), named)) table.push_back({option.name, {}});
        }
    }
    return table;
}

Arguments Fail(std::string error) {
    Arguments result;
    result.error = std::move(error);
    return result;
}

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& args) {
    Arguments result;
    if (const auto word =
            tooloptions::FindFirst(args, {"--help", "-h", "--version", "--list-interfaces"})) {
        result.action = *word == "--version"           ? Action::Version
                        : *word == "--list-interfaces" ? Action::ListInterfaces
                                                       : Action::Help;
        return result;
    }
    if (args.empty()) return Fail("no subcommand given; expected poll, level, monitor or pattern");
    if (args[0] == "poll") {
        result.action = Action::Poll;
    } else if (args[0] == "level") {
        result.action = Action::Level;
    } else if (args[0] == "monitor") {
        result.action = Action::Monitor;
    } else if (args[0] == "pattern") {
        result.action = Action::Pattern;
        std::vector<tooloptions::Option> common = Table(result);
        common.resize(2);  // --interface and --port
        const std::span<const std::string> rest(args.begin() + 1, args.end());
        if (const auto mistake = ReadPatternArguments(rest, std::move(common), result.pattern)) {
            return Fail(*mistake);
        }
        return result;

    } else {
        return Fail("unknown subcommand '" + args[0] + "'; expected poll, level, monitor or pattern");
    }
    bool levelGiven = false;
    const tooloptions::Setter setLevel =
        tooloptions::Integer(result.level.level, 0, 255, "expected 0 to 255");
    tooloptions::Operand level;
    if (result.action == Action::Level) {
        level = {"LEVEL", [&levelGiven, &setLevel](const std::string& text) {
                     levelGiven = true;
                     return setLevel(text);
                 }};
    }
    const std::span<const std::string> rest(args.begin() + 1, args.end());
    if (const auto mistake = tooloptions::Read(rest, Table(result), level, args[0])) {
        return Fail(*mistake);
    }
    if (result.action == Action::Level && !levelGiven) return Fail("level needs LEVEL, 0 to 255");
    return result;
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
           R"( monitor [--format screen|log|json] [--universe U] [--seconds S]
             [COMMON]
       )" + PatternUsage(program) +
           R"(       )" + program + R"( --list-interfaces | --help | --version
Polls DMX512 lighting nodes, sends them DMX levels and test patterns, and
watches the DMX data on the wire from a shell, by UDP broadcast on port 3333,
with the same bytes and the same broadcast address as the praveltest window.

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

monitor: listens on the port, sends nothing, and follows every DMX data
message per source (an address and a universe) until Ctrl+C:
  --format screen|log|json
                         screen: one universe's channels, live, on a
                         terminal (the default there); log: one line per
                         event (the default when standard output is no
                         terminal); json: one object per line, same fields
  --universe U           1 to 256: the screen's first universe; log and json
                         report this universe only
  --seconds S            stop after S seconds (decimals allowed)
Each log line starts with the UTC time (2026-12-09T05:43:07.123Z), then:
  listening interface=NAME|all port=PORT
  found A.B.C.D universe=U start-code=S format=F type=T channels=N
  header A.B.C.D universe=U start-code=S format=F type=T channels=N
  frame A.B.C.D universe=U CHANNEL@LEVEL ...
  lost A.B.C.D universe=U
  conflict universe=U A.B.C.D A.B.C.D ...
found is a source's first frame, or its first since it was lost; frame names
the channels that changed (all of them after found); header a new start code,
data type or channel count; lost comes after 2.5 s of silence; conflict when
a second source sends a universe. On the screen, left/right (or p/n) pick
the universe, up/down scroll, m shows levels, percent or hex, q quits.
At the end one line on standard error sums up, over every universe:
  monitored sources=N universes=N frames=N malformed=N conflicts=N lost=N other=N

)" + PatternHelpSection() +
           R"(
COMMON:
  --interface NAME|A.B.C.D  send to a.b.c.255 of this interface's address
                            (on Linux also hear only what comes through it);
                            without it the address is chosen as the window
                            chooses it (see praveltest --help)
  --port N                  UDP port to bind and send to (default 3333)
  --list-interfaces         list this host's IPv4 interfaces that are up, as
                            praveltest --list-interfaces does, and exit
  -h, --help                show this text and exit
  --version                 show the version and exit

Exit status: 0 on success; 1 when fewer nodes answered than --expect asks
for, or when the socket cannot be bound or the datagram cannot be sent; 2 for
a bad command line, --format screen without a terminal, or an interface that
does not exist, is down or has no IPv4 address (one line on standard error;
nothing is sent).
)";
}

}  // namespace clitool
