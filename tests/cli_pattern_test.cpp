// praveltest-cli pattern: what its command line means, what it refuses, and what a run sends and
// prints, with the datagrams taken as they leave.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "net/WakeSignal.h"
#include "tools/CliArguments.h"

namespace {

using Args = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

// Everything the parse decided, on one line.
std::string Meaning(const Args& args) {
    const clitool::Arguments parsed = clitool::ParseArguments(args);
    if (parsed.action == clitool::Action::Error) return "error: " + parsed.error;
    if (parsed.action != clitool::Action::Pattern) return "not a pattern";
    const clitool::PatternRequest& r = parsed.pattern;
    const pattern::Settings& s = r.settings;
    const auto n = [](auto value) { return std::to_string(static_cast<int>(value)); };
    char rates[160];
    std::snprintf(rates, sizeof rates, "rate=%g period=%g refresh=%g hold=%g seconds=%g", s.rate,
                  s.period, s.refresh, r.holdSeconds, r.seconds.value_or(-1));
    return "kind=" + n(s.kind) + " shape=" + n(s.shape) + " universe=" + n(s.universe) +
           " start-code=" + n(s.startCode) + " type=" + n(s.dataType) + " channels=" + n(s.first) +
           "-" + n(s.last) + " level=" + n(s.level) + " others=" + n(s.others) + " " + rates +
           (r.keep ? " keep" : "") + (r.dryRun ? " dry-run" : "") + " port=" + n(parsed.port) +
           " interface=" + parsed.interfaceChoice.value_or("-");
}

TEST(CliPattern, EachCommandLineMeansOneThing) {
    const std::vector<std::pair<Args, std::string>> cases{
        {{"pattern", "check"},
         "kind=0 shape=0 universe=1 start-code=0 type=1 channels=1-512 level=255 others=0 "
         "rate=2 period=2 refresh=1 hold=1 seconds=-1 port=3333 interface=-"},
        {{"pattern",      "chase",   "--channels",  "37-48",    "--rate=44", "--shape",
          "sine",         "--level", "0x80",        "--others", "5",         "--seconds",
          "2.5",          "--keep",  "--universe",  "3",        "--format",  "rle",
          "--start-code", "0x55",    "--interface", "lo",       "--port",    "4000"},
         "kind=1 shape=2 universe=3 start-code=85 type=4 channels=37-48 level=128 others=5 "
         "rate=44 period=2 refresh=1 hold=1 seconds=2.5 keep port=4000 interface=lo"},
        {{"pattern", "ramp", "--channels", "7", "--period", "0.5", "--refresh", "4", "--dry-run"},
         "kind=2 shape=0 universe=1 start-code=0 type=1 channels=7-7 level=255 others=0 "
         "rate=2 period=0.5 refresh=4 hold=1 seconds=-1 dry-run port=3333 interface=-"},
        {{"pattern", "check", "--hold", "0.25", "--channels", "9-3"},
         "kind=0 shape=0 universe=1 start-code=0 type=1 channels=9-3 level=255 others=0 "
         "rate=2 period=2 refresh=1 hold=0.25 seconds=-1 port=3333 interface=-"},
        {{"pattern"}, "error: pattern needs check, chase or ramp"},
        {{"pattern", "strobe"}, "error: pattern needs check, chase or ramp"},
        {{"pattern", "chase", "--channels", "1-x"},
         "error: bad value '1-x' for --channels: expected FIRST-LAST, such as 1-512"},
        {{"pattern", "chase", "--shape", "square"},
         "error: bad value 'square' for --shape: expected snap, ramp or sine"},
        {{"pattern", "chase", "--level", "256"},
         "error: bad value '256' for --level: expected 0 to 255"},
        {{"pattern", "chase", "--rate", "fast"},
         "error: bad value 'fast' for --rate: expected a number"},
        {{"pattern", "chase", "--wait", "1"}, "error: unknown option '--wait'"},
    };
    for (const auto& [args, meaning] : cases) EXPECT_EQ(Meaning(args), meaning);
}

// Refused before anything is sent, in one line each.
TEST(CliPattern, OutOfBoundsIsRefused) {
    const std::vector<std::pair<Args, std::string>> cases{
        {{"pattern", "check", "--channels", "9-3"},
         "the channels must be FIRST-LAST with 1 <= FIRST <= LAST <= 512"},
        {{"pattern", "check", "--channels", "0-3"},
         "the channels must be FIRST-LAST with 1 <= FIRST <= LAST <= 512"},
        {{"pattern", "chase", "--channels", "500-513"},
         "the channels must be FIRST-LAST with 1 <= FIRST <= LAST <= 512"},
        {{"pattern", "chase", "--rate", "45"}, "the chase rate must be 0.5 to 44 steps a second"},
        {{"pattern", "chase", "--rate", "0.25"}, "the chase rate must be 0.5 to 44 steps a second"},
        {{"pattern", "ramp", "--period", "0"}, "the ramp period must be 0.1 to 3600 seconds"},
        {{"pattern", "check", "--hold", "0"}, "the hold must be 0.01 to 3600 seconds"},
        {{"pattern", "chase", "--seconds", "0"}, "--seconds must be more than 0 and at most 86400"},
        {{"pattern", "chase", "--refresh", "50"}, "the refresh rate must be 0.1 to 44 a second"},
        {{"pattern", "chase", "--rate", "44", "--channels", "512"}, ""},
    };
    for (const auto& [args, problem] : cases) {
        const clitool::Arguments parsed = clitool::ParseArguments(args);
        ASSERT_EQ(parsed.action, clitool::Action::Pattern) << parsed.error;
        EXPECT_EQ(clitool::ValidatePattern(parsed.pattern), problem) << args.back();
    }
}

struct Played {
    std::vector<Bytes> sent;
    std::string printed;
};

Played Play(const Args& args, bool stopAtOnce) {
    const clitool::Arguments parsed = clitool::ParseArguments(args);
    EXPECT_EQ(parsed.action, clitool::Action::Pattern) << parsed.error;
    net::WakeSignal stop;
    EXPECT_TRUE(stop.Valid()) << stop.Error();
    if (stopAtOnce) stop.Raise();
    Played run;
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    if (!out) return run;
    clitool::RunPattern(
        parsed.pattern,
        [&run](std::span<const std::uint8_t> frame) {
            run.sent.emplace_back(frame.begin(), frame.end());
        },
        "127.0.0.255:3333", stop.Handle(), out);
    std::rewind(out);
    char buffer[4096];
    while (const std::size_t length = std::fread(buffer, 1, sizeof buffer, out)) {
        run.printed.append(buffer, length);
    }
    std::fclose(out);
    return run;
}

// The window's layout: universe 1, start code 0, raw, channels 1 to 3.
Bytes Frame3(std::uint8_t one, std::uint8_t two, std::uint8_t three) {
    return {'V', 'X', 'D', 'D', 0x00, 0x00, 0x01, 0x00, 0x03, one, two, three, 0x00};
}

// A check steps once through the range and ends with every channel at 0; a stop ends a chase
// with the zero frame too, unless --keep. The refresh is slow enough never to come.
TEST(CliPattern, RunsSendTheFramesAndEndAtZero) {
    struct Case {
        const char* name;
        Args args;
        bool stopAtOnce;
        std::vector<Bytes> sent;
        std::string printed;
    };
    const std::vector<Case> cases{
        {"Check",
         {"pattern", "check", "--channels", "2-3", "--level", "200", "--others", "10", "--hold",
          "0.05", "--refresh", "0.1"},
         false,
         {Frame3(0, 200, 10), Frame3(0, 10, 200), Frame3(0, 0, 0)},
         "start pattern=check hold=0.05 universe=1 start-code=0 format=raw channels=2-3 "
         "level=200 others=10 refresh=0.1 to=127.0.0.255:3333\n"
         "channel 2\nchannel 3\nzero channels=1-3\nsent frames=3\n"},
        {"ChaseStopped",
         {"pattern", "chase", "--channels", "1-3", "--level", "9", "--refresh", "0.1"},
         true,
         {Frame3(9, 0, 0), Frame3(0, 0, 0)},
         "start pattern=chase shape=snap rate=2 universe=1 start-code=0 format=raw channels=1-3 "
         "level=9 others=0 refresh=0.1 to=127.0.0.255:3333\n"
         "channel 1\nzero channels=1-3\nsent frames=2\n"},
        {"ChaseStoppedKept",
         {"pattern", "chase", "--channels", "3", "--keep", "--refresh", "0.1"},
         true,
         {Frame3(0, 0, 255)},
         "start pattern=chase shape=snap rate=2 universe=1 start-code=0 format=raw channels=3-3 "
         "level=255 others=0 refresh=0.1 to=127.0.0.255:3333\n"
         "channel 3\nkept channels=1-3\nsent frames=1\n"},
        {"RampDryRunPrintsHex",
         {"pattern", "ramp", "--channels", "2-3", "--dry-run", "--refresh", "0.1"},
         true,
         {Frame3(0, 0, 0), Frame3(0, 0, 0)},
         "start pattern=ramp period=2 universe=1 start-code=0 format=raw channels=2-3 level=255 "
         "others=0 refresh=0.1 would-send-to=127.0.0.255:3333\n"
         "56 58 44 44 00 00 01 00 03 00 00 00 00\n"
         "zero channels=1-3\n"
         "56 58 44 44 00 00 01 00 03 00 00 00 00\n"
         "would-send frames=2\n"},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        const Played run = Play(each.args, each.stopAtOnce);
        EXPECT_EQ(run.sent, each.sent);
        EXPECT_EQ(run.printed, each.printed);
    }
}

}  // namespace
