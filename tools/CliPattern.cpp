#include "tools/CliPattern.h"

#include <charconv>
#include <cmath>
#include <thread>

#include "output/OutputSettings.h"
#include "tools/CliArguments.h"
#include "tools/LevelReport.h"

namespace clitool {
namespace {

using tooloptions::Problem;
using Clock = std::chrono::steady_clock;
using pattern::Duration;

constexpr double kMinHold = 0.01;
constexpr double kMaxHold = 3600;
constexpr double kMaxSeconds = 86400;

std::optional<double> ReadNumber(const std::string& text) {
    double value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (text.empty() || error != std::errc{} || end != last || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

tooloptions::Setter Number(double& field) {
    return tooloptions::Parsed(field, ReadNumber, "expected a number");
}

tooloptions::Setter Flag(bool& field) {
    return [&field](const std::string&) -> Problem {
        field = true;
        return std::nullopt;
    };
}

// FIRST-LAST, or one channel alone; the range itself is checked with the rest.
Problem SetChannels(pattern::Settings& settings, const std::string& value) {
    const std::size_t dash = value.find('-', 1);
    const std::string firstText = value.substr(0, dash);
    const std::string lastText = dash == std::string::npos ? firstText : value.substr(dash + 1);
    const auto first = tooloptions::ReadInteger(firstText, -100000, 100000);
    const auto last = tooloptions::ReadInteger(lastText, -100000, 100000);
    if (!first || !last) return "expected FIRST-LAST, such as 1-512";
    settings.first = static_cast<int>(*first);
    settings.last = static_cast<int>(*last);
    return std::nullopt;
}

Problem SetShape(pattern::Shape& shape, const std::string& value) {
    if (value == "snap") {
        shape = pattern::Shape::Snap;
    } else if (value == "ramp") {
        shape = pattern::Shape::Ramp;
    } else if (value == "sine") {
        shape = pattern::Shape::Sine;
    } else {
        return "expected snap, ramp or sine";
    }
    return std::nullopt;
}

Problem SetFormat(int& dataFormat, const std::string& value) {
    for (int i = 0; i < 4; ++i) {
        if (value == DataFormatName(i)) {
            dataFormat = i;
            return std::nullopt;
        }
    }
    return "expected raw, rle, pairs or zero";
}

const char* KindName(pattern::Kind kind) {
    switch (kind) {
        case pattern::Kind::Check:
            return "check";
        case pattern::Kind::Chase:
            return "chase";
        case pattern::Kind::Ramp:
            return "ramp";
    }
    return "check";
}

const char* ShapeName(pattern::Shape shape) {
    switch (shape) {
        case pattern::Shape::Snap:
            return "snap";
        case pattern::Shape::Ramp:
            return "ramp";
        case pattern::Shape::Sine:
            return "sine";
    }
    return "snap";
}

std::string Decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string StartLine(const PatternRequest& request, const std::string& destination) {
    const pattern::Settings& s = request.settings;
    std::string line = std::string("start pattern=") + KindName(s.kind);
    switch (s.kind) {
        case pattern::Kind::Check:
            line += " hold=" + Decimal(request.holdSeconds);
            break;
        case pattern::Kind::Chase:
            line += std::string(" shape=") + ShapeName(s.shape) + " rate=" + Decimal(s.rate);
            break;
        case pattern::Kind::Ramp:
            line += " period=" + Decimal(s.period);
            break;
    }
    return line + " universe=" + std::to_string(s.universe) +
           " start-code=" + std::to_string(s.startCode) +
           " format=" + DataFormatName(request.dataFormat) +
           " channels=" + std::to_string(s.first) + "-" + std::to_string(s.last) +
           " level=" + std::to_string(s.level) + " others=" + std::to_string(s.others) +
           " refresh=" + Decimal(s.refresh) + (request.dryRun ? " would-send-to=" : " to=") +
           destination;
}

// Waits until deadline on the wall clock's steady time since start; true when a stop came first.
// The wait for the stop handle takes whole milliseconds, so the last one is slept to the point.
bool WaitUntil(Clock::time_point deadline, net::SocketHandle stop) {
    while (true) {
        const auto left = deadline - Clock::now();
        if (left <= Duration::zero()) return false;
        const auto wholeMs = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
        if (wholeMs >= 1) {
            if (net::WaitReadableFor(stop, static_cast<int>(wholeMs))) return true;
            continue;
        }
        std::this_thread::sleep_until(deadline);
        return net::WaitReadableFor(stop, 0);
    }
}

}  // namespace

Problem ReadPatternArguments(std::span<const std::string> args,
                             std::vector<tooloptions::Option> common, PatternRequest& request) {
    pattern::Settings& s = request.settings;
    if (args.empty() || (args[0] != "check" && args[0] != "chase" && args[0] != "ramp")) {
        return "pattern needs check, chase or ramp";
    }
    s.kind = args[0] == "check"   ? pattern::Kind::Check
             : args[0] == "chase" ? pattern::Kind::Chase
                                  : pattern::Kind::Ramp;
    const auto anyInt = [](int& field) {
        return tooloptions::Integer(field, -100000, 100000, "expected a whole number");
    };
    std::vector<tooloptions::Option> options = std::move(common);
    const std::vector<tooloptions::Option> own{
        {"--universe", anyInt(s.universe)},
        {"--start-code", anyInt(s.startCode)},
        {"--format", [&request](const std::string& v) { return SetFormat(request.dataFormat, v); }},
        {"--channels", [&s](const std::string& value) { return SetChannels(s, value); }},
        {"--level", tooloptions::Integer(s.level, 0, 255, "expected 0 to 255")},
        {"--others", tooloptions::Integer(s.others, 0, 255, "expected 0 to 255")},
        {"--shape", [&s](const std::string& value) { return SetShape(s.shape, value); }},
        {"--rate", Number(s.rate)},
        {"--period", Number(s.period)},
        {"--refresh", Number(s.refresh)},
        {"--hold", Number(request.holdSeconds)},
        {"--seconds",
         [&request](const std::string& value) -> Problem {
             const auto seconds = ReadNumber(value);
             if (!seconds) return "expected a number";
             request.seconds = *seconds;
             return std::nullopt;
         }},
        {"--keep", Flag(request.keep), true},
        {"--dry-run", Flag(request.dryRun), true},
    };
    options.insert(options.end(), own.begin(), own.end());
    if (auto mistake = tooloptions::Read(args.subspan(1), options, {}, "pattern")) return mistake;
    s.dataType = output::DataTypeByte(request.dataFormat);
    return std::nullopt;
}

std::string ValidatePattern(const PatternRequest& request) {
    std::string problem = pattern::Validate(request.settings);
    if (!problem.empty()) return problem;
    if (request.settings.kind == pattern::Kind::Check &&
        !(request.holdSeconds >= kMinHold && request.holdSeconds <= kMaxHold)) {
        return "the hold must be 0.01 to 3600 seconds";
    }
    if (request.seconds && !(*request.seconds > 0 && *request.seconds <= kMaxSeconds)) {
        return "--seconds must be more than 0 and at most 86400";
    }
    return {};
}

void RunPattern(const PatternRequest& request, const FrameSender& send,
                const std::string& destination, net::SocketHandle stop, std::FILE* out) {
    const pattern::Settings& s = request.settings;
    const auto line = [out](const std::string& text) {
        std::fprintf(out, "%s\n", text.c_str());
        std::fflush(out);
    };
    long long frames = 0;
    const auto sendFrame = [&](const std::vector<std::uint8_t>& frame) {
        send(frame);
        ++frames;
        if (request.dryRun) std::fputs(HexLines(frame).c_str(), out);
    };
    line(StartLine(request, destination));
    const Clock::time_point start = Clock::now();
    pattern::Player player(s, Duration::zero());
    const bool check = s.kind == pattern::Kind::Check;
    const Duration hold(std::llround(request.holdSeconds * 1e9));
    const long long channels = s.last - s.first + 1;
    // A check ends after its last channel's hold; the others at --seconds or a stop.
    Duration end = Duration::max();
    if (check) end = hold * channels;
    if (!check && request.seconds) end = Duration(std::llround(*request.seconds * 1e9));
    int shown = 0;
    while (true) {
        const Duration now = Clock::now() - start;
        if (now >= end) break;
        if (check) {
            // Each channel's turn counts from the start, so a late wake-up shortens no hold.
            const long long turn = now / hold;
            if (s.first + turn != player.ChannelAt(now)) {
                player.Select(s.first + static_cast<int>(turn), hold * turn);
            }
        }
        if (auto frame = player.Tick(now)) sendFrame(*frame);
        if (const int channel = player.ChannelAt(now); channel != shown && channel != 0) {
            shown = channel;
            line("channel " + std::to_string(channel));
        }
        Duration due = std::min(player.NextDue(), end);
        if (check) due = std::min(due, hold * (now / hold + 1));
        if (WaitUntil(start + due, stop)) break;
    }
    if (request.keep) {
        line("kept channels=1-" + std::to_string(s.last));
    } else {
        line("zero channels=1-" + std::to_string(s.last));
        sendFrame(player.ZeroFrame());
    }
    line(std::string(request.dryRun ? "would-send" : "sent") + " frames=" + std::to_string(frames));
}

std::string PatternUsage(const std::string& program) {
    return program + R"( pattern check|chase|ramp [--channels FIRST-LAST] [--level L]
             [--others L] [--universe U] [--start-code S]
             [--format raw|rle|pairs|zero] [--rate HZ] [--shape snap|ramp|sine]
             [--period SECONDS] [--hold SECONDS] [--seconds SECONDS]
             [--refresh HZ] [--keep] [--dry-run] [COMMON]
)";
}

const char* PatternHelpSection() {
    return R"(pattern: finds a fixture. Plays a test pattern over channels FIRST to LAST of
one universe; every message carries channels 1 to LAST (those below FIRST at
0), and one that would change nothing is sent again only at the refresh rate.
  check                  each channel in turn at the level, --hold seconds
                         each, the rest of the range at --others; then ends
  chase                  one channel after another, round the range, --rate
                         steps a second, until --seconds or Ctrl+C
  ramp                   the whole range from 0 up to the level and back
                         every --period seconds, until --seconds or Ctrl+C
  --channels FIRST-LAST  the range, 1 to 512 (default 1-512)
  --level L              the channel that is on (default 255)
  --others L             the rest of the range (default 0)
  --universe U, --start-code S, --format raw|rle|pairs|zero
                         as for level
  --rate HZ              chase steps a second, 0.5 to 44 (default 2)
  --shape snap|ramp|sine how a chase passes on: a cut, a linear or an eased
                         cross-fade, sampled 44 times a second (default snap)
  --period SECONDS       ramp: 0.1 to 3600 (default 2)
  --hold SECONDS         check: 0.01 to 3600 (default 1)
  --seconds SECONDS      chase and ramp: stop after this long
  --refresh HZ           how often an unchanged message is sent again, 0.1 to
                         44 (default 1)
  --keep                 leave the channels as they are at the end
  --dry-run              print each message in hex instead of sending it
It prints a start line, "channel N" whenever another channel comes on, then
  zero channels=1-LAST   when its last message sets them all to 0 (at the
                         end, --seconds, Ctrl+C or SIGTERM), or
  kept channels=1-LAST   with --keep,
  sent frames=F          ("would-send" with --dry-run).
A range, rate, period, hold or --seconds out of bounds exits with 2 and one
line on standard error before anything is sent.
)";
}

}  // namespace clitool
