// praveltest-cli monitor without sockets: its command line, the lines its event log prints for
// a scripted wire, and its screen as lines of text at a given size.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "monitor/DmxMonitor.h"
#include "testing/DmxFrame.h"
#include "tools/CliArguments.h"
#include "tools/MonitorLog.h"
#include "tools/TerminalScreen.h"

namespace {

using namespace std::chrono;
using clitool::EventFormat;
using clitool::ScreenView;
using clitool::ValueMode;
using testing_support::DmxFrame;
using Args = std::vector<std::string>;
using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kConsoleA =
    0x1E02010A;  // 10.1.2.30 in network order on a little-endian host
constexpr std::uint32_t kConsoleB = 0x1F02010A;  // 10.1.2.31

// 2026-12-09T05:43:07.123Z
const clitool::WallTime kWallStart =
    sys_days{year{2026} / 12 / 9} + hours{5} + minutes{43} + seconds{7} + milliseconds{123};

monitor::Time At(int millisecond) {
    return monitor::Time{} + milliseconds(millisecond);
}

std::string Meaning(const Args& args) {
    const clitool::Arguments parsed = clitool::ParseArguments(args);
    if (parsed.action == clitool::Action::Error) return "error: " + parsed.error;
    if (parsed.action != clitool::Action::Monitor) return "not monitor";
    const auto& request = parsed.monitor;
    return "monitor format=" + std::to_string(static_cast<int>(request.format)) +
           " universe=" + std::to_string(request.universe.value_or(-1)) +
           " ms=" + std::to_string(request.milliseconds.value_or(-1)) +
           " port=" + std::to_string(parsed.port) +
           " interface=" + parsed.interfaceChoice.value_or("-");
}

// Formats by index: automatic 0, screen 1, log 2, json 3; -1 for what was not given.
TEST(CliMonitorArguments, EachCommandLineMeansOneThing) {
    const struct {
        Args args;
        std::string meaning;
    } cases[]{
        {{"monitor"}, "monitor format=0 universe=-1 ms=-1 port=3333 interface=-"},
        {{"monitor", "--format", "screen", "--universe", "256", "--seconds", "0.25"},
         "monitor format=1 universe=256 ms=250 port=3333 interface=-"},
        {{"monitor", "--format=log", "--universe=0x10", "--interface", "lo", "--port", "4000"},
         "monitor format=2 universe=16 ms=-1 port=4000 interface=lo"},
        {{"monitor", "--format", "json", "--seconds", "604800"},
         "monitor format=3 universe=-1 ms=604800000 port=3333 interface=-"},
        {{"monitor", "--format", "csv"},
         "error: bad value 'csv' for --format: expected screen, log or json"},
        {{"monitor", "--universe", "0"}, "error: bad value '0' for --universe: expected 1 to 256"},
        {{"monitor", "--universe", "257"},
         "error: bad value '257' for --universe: expected 1 to 256"},
        {{"monitor", "--seconds", "0"},
         "error: bad value '0' for --seconds: expected seconds, more than 0 and at most 604800"},
        {{"monitor", "--seconds", "604801"},
         "error: bad value '604801' for --seconds: expected seconds, more than 0 and at most "
         "604800"},
        {{"monitor", "--wait", "1"}, "error: unknown option '--wait' for monitor"},
        {{"monitor", "--channels", "1"}, "error: unknown option '--channels' for monitor"},
        {{"monitor", "3"}, "error: unexpected argument '3'"},
        {{"poll", "--seconds", "1"}, "error: unknown option '--seconds' for poll"},
        {{"poll", "--universe", "1"}, "error: unknown option '--universe' for poll"},
        {{"level", "1", "--universe", "300"}, "not monitor"},
        {{"watch"}, "error: unknown subcommand 'watch'; expected poll, level, monitor or pattern"},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(Meaning(each.args), each.meaning) << each.args.back();
    }
}

TEST(CliMonitorLog, TimesAreUtcWithMilliseconds) {
    const struct {
        clitool::WallTime time;
        std::string text;
    } cases[]{
        {clitool::WallTime{}, "1970-01-01T00:00:00.000Z"},
        {kWallStart, "2026-12-09T05:43:07.123Z"},
        {sys_days{year{2028} / 2 / 29} + hours{23} + minutes{59} + seconds{59} +
             microseconds{999999},
         "2028-02-29T23:59:59.999Z"},
        {clitool::WallTime{} - milliseconds{1}, "1969-12-31T23:59:59.999Z"},
    };
    for (const auto& each : cases) EXPECT_EQ(clitool::IsoUtcTime(each.time), each.text);
}

// One wire, with the model's time from At(0) = kWallStart: two consoles on universe 3 and one
// on universe 4, a new start code, a malformed frame, silence and a return.
struct Step {
    int at;  // milliseconds
    std::uint32_t from;
    Bytes datagram;  // empty: only Expire(at)
};

const std::vector<Step> kWire{
    {0, kConsoleA, DmxFrame(3, {255, 255, 0})},
    {25, kConsoleA, DmxFrame(3, {255, 255, 0})},
    {50, kConsoleA, DmxFrame(3, {255, 128, 0})},
    {75, kConsoleB, DmxFrame(3, {10})},
    {100, kConsoleA, DmxFrame(3, {255, 128, 0}, 0x55)},
    {125, kConsoleA, DmxFrame(4, {1}, 0, 4)},
    {150, kConsoleA, DmxFrame(3, {1, 2}, 0, 1, 600)},
    {2600, 0, {}},
    {2700, 0, {}},
    {3000, kConsoleB, DmxFrame(3, {10, 20}, 0, 9)},
};

TEST(CliMonitorLog, EachEventIsOneExactLine) {
    const struct {
        EventFormat format;
        std::optional<int> universe;
        Lines lines;
    } cases[]{
        {EventFormat::Log,
         std::nullopt,
         {"2026-12-09T05:43:07.123Z listening interface=eth0 port=3333",
          "2026-12-09T05:43:07.123Z found 10.1.2.30 universe=3 start-code=0 format=raw type=1 "
          "channels=3",
          "2026-12-09T05:43:07.123Z frame 10.1.2.30 universe=3 1@255 2@255 3@0",
          "2026-12-09T05:43:07.173Z frame 10.1.2.30 universe=3 2@128",
          "2026-12-09T05:43:07.198Z found 10.1.2.31 universe=3 start-code=0 format=raw type=1 "
          "channels=1",
          "2026-12-09T05:43:07.198Z frame 10.1.2.31 universe=3 1@10",
          "2026-12-09T05:43:07.198Z conflict universe=3 10.1.2.30 10.1.2.31",
          "2026-12-09T05:43:07.223Z header 10.1.2.30 universe=3 start-code=85 format=raw type=1 "
          "channels=3",
          "2026-12-09T05:43:07.248Z found 10.1.2.30 universe=4 start-code=0 format=rle type=4 "
          "channels=1",
          "2026-12-09T05:43:07.248Z frame 10.1.2.30 universe=4 1@1",
          "2026-12-09T05:43:09.723Z lost 10.1.2.30 universe=3",
          "2026-12-09T05:43:09.723Z lost 10.1.2.31 universe=3",
          "2026-12-09T05:43:09.823Z lost 10.1.2.30 universe=4",
          "2026-12-09T05:43:10.123Z found 10.1.2.31 universe=3 start-code=0 format=unknown "
          "type=9 channels=2",
          "2026-12-09T05:43:10.123Z frame 10.1.2.31 universe=3 2@20"}},
        {EventFormat::Json,
         3,
         {R"({"time": "2026-12-09T05:43:07.123Z", "event": "listening", "interface": "eth0", )"
          R"("port": 3333})",
          R"({"time": "2026-12-09T05:43:07.123Z", "event": "found", "source": "10.1.2.30", )"
          R"("universe": 3, "start_code": 0, "format": "raw", "type": 1, "channels": 3})",
          R"({"time": "2026-12-09T05:43:07.123Z", "event": "frame", "source": "10.1.2.30", )"
          R"("universe": 3, "changes": {"1": 255, "2": 255, "3": 0}})",
          R"({"time": "2026-12-09T05:43:07.173Z", "event": "frame", "source": "10.1.2.30", )"
          R"("universe": 3, "changes": {"2": 128}})",
          R"({"time": "2026-12-09T05:43:07.198Z", "event": "found", "source": "10.1.2.31", )"
          R"("universe": 3, "start_code": 0, "format": "raw", "type": 1, "channels": 1})",
          R"({"time": "2026-12-09T05:43:07.198Z", "event": "frame", "source": "10.1.2.31", )"
          R"("universe": 3, "changes": {"1": 10}})",
          R"({"time": "2026-12-09T05:43:07.198Z", "event": "conflict", "universe": 3, )"
          R"("sources": ["10.1.2.30", "10.1.2.31"]})",
          R"({"time": "2026-12-09T05:43:07.223Z", "event": "header", "source": "10.1.2.30", )"
          R"("universe": 3, "start_code": 85, "format": "raw", "type": 1, "channels": 3})",
          R"({"time": "2026-12-09T05:43:09.723Z", "event": "lost", "source": "10.1.2.30", )"
          R"("universe": 3})",
          R"({"time": "2026-12-09T05:43:09.723Z", "event": "lost", "source": "10.1.2.31", )"
          R"("universe": 3})",
          R"({"time": "2026-12-09T05:43:10.123Z", "event": "found", "source": "10.1.2.31", )"
          R"("universe": 3, "start_code": 0, "format": "unknown", "type": 9, "channels": 2})",
          R"({"time": "2026-12-09T05:43:10.123Z", "event": "frame", "source": "10.1.2.31", )"
          R"("universe": 3, "changes": {"2": 20}})"}},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(static_cast<int>(each.format));
        Lines lines;
        monitor::DmxMonitor model;
        clitool::EventLog log(model, each.format, each.universe,
                              [&lines](const std::string& line) { lines.push_back(line); });
        model.SetListener(&log);
        log.SetClock(At(0), kWallStart);
        log.Listening("eth0", 3333, At(0));
        for (const Step& step : kWire) {
            if (step.datagram.empty()) {
                model.Expire(At(step.at));
            } else {
                model.Feed(step.datagram, {step.from, 6454}, At(step.at));
            }
        }
        EXPECT_EQ(lines, each.lines);
        // The sum covers every universe, also those the lines leave out.
        EXPECT_EQ(clitool::SummaryText(clitool::TotalsOf(model, log, 4)),
                  "monitored sources=3 universes=2 frames=7 malformed=1 conflicts=1 lost=3 "
                  "other=4");
    }
}

// Console A on universe 3 with 20 channels, its frames 25 ms apart; B there too, then silent.
monitor::DmxMonitor ScreenModel() {
    monitor::DmxMonitor model;
    Bytes levels;
    for (int i = 0; i < 20; ++i) levels.push_back(static_cast<std::uint8_t>(i * 13));
    model.Feed(DmxFrame(3, {7, 8}), {kConsoleB, 6454}, At(0));
    for (int at = 0; at <= 3000; at += 25)
        model.Feed(DmxFrame(3, levels), {kConsoleA, 6454}, At(at));
    model.Feed(DmxFrame(9, {255}), {kConsoleA, 6454}, At(3000));
    model.Feed(Bytes{'V', 'X', 'D', 'D'}, {kConsoleA, 6454}, At(3000));
    model.Expire(At(3000));
    return model;
}

TEST(CliMonitorScreen, FitsTheUniverseToTheTerminal) {
    const monitor::DmxMonitor model = ScreenModel();
    const std::string header =
        "praveltest-cli monitor on eth0 port 3333 | 2 universes, 3 sources, 123 frames, 1 "
        "malformed";
    const std::string b = "  10.1.2.31       lost   0 frames/s  start-code 0  raw  2 channels";
    const std::string a = "> 10.1.2.30       live  37 frames/s  start-code 0  raw  20 channels";
    const std::string keys = "keys: left/right universe, m level/percent/hex, q quit";
    struct Case {
        ScreenView view;
        int width, height;
        Lines lines;
        int firstRow;  // as the lines leave it
    };
    // A vector, not an array: MinGW's GCC 12 warns falsely of its strings' destruction.
    const std::vector<Case> cases{
        {{3, ValueMode::Level, 0, "eth0 port 3333"},
         70,
         12,
         {header.substr(0, 70), "Universe 3 in level | heard: 3 9", b, a,
          "  1:   0  13  26  39  52  65  78  91 104 117 130 143 156 169 182 195",
          " 17: 208 221 234 247", keys},
         0},
        {{3, ValueMode::Percent, 0, "eth0 port 3333"},
         44,
         12,
         {header.substr(0, 44), "Universe 3 in percent | heard: 3 9", b.substr(0, 44),
          a.substr(0, 44), "  1:   0   5  10  15  20  25  30  35",
          "  9:  40  45  50  56  61  66  71  76", " 17:  81  86  91  96", keys.substr(0, 44)},
         0},
        {{3, ValueMode::Hex, 1, "eth0 port 3333"},
         40,
         6,
         {header.substr(0, 40), "Universe 3 in hex | heard: 3 9", b.substr(0, 40), a.substr(0, 40),
          "  9: 68 75 82 8F 9C A9 B6 C3", "channels 9-16 of 20, up/down scroll | ke"},
         1},
        {{3, ValueMode::Hex, 5, "eth0 port 3333"},
         40,
         6,
         {header.substr(0, 40), "Universe 3 in hex | heard: 3 9", b.substr(0, 40), a.substr(0, 40),
          " 17: D0 DD EA F7", "channels 17-20 of 20, up/down scroll | k"},
         2},
        {{5, ValueMode::Level, 0, "all port 3333"},
         100,
         12,
         {"praveltest-cli monitor on all port 3333 | 2 universes, 3 sources, 123 frames, 1 "
          "malformed",
          "Universe 5 in level | heard: 3 9", "  no DMX data on this universe yet", keys},
         0},
    };
    for (auto each : cases) {
        EXPECT_EQ(clitool::ScreenLines(model, each.view, each.width, each.height, At(3000)),
                  each.lines)
            << each.width << "x" << each.height;
        EXPECT_EQ(each.view.firstRow, each.firstRow);
    }
}

TEST(CliMonitorScreen, KeysPickTheUniverseTheValuesAndTheRows) {
    using Kind = clitool::KeyPress::Kind;
    const std::vector<int> heard{3, 9, 200};
    // Where the screen stands; the rest of a ScreenView plays no part in a key.
    struct Place {
        int universe;
        ValueMode mode;
        int firstRow;
    };
    const struct {
        Place view;
        clitool::KeyPress key;
        std::vector<int> universes;
        Place after;
        bool goOn;
    } cases[]{
        {{3, ValueMode::Level, 4}, {Kind::Right, 0}, heard, {9, ValueMode::Level, 0}, true},
        {{3, ValueMode::Level, 0}, {Kind::Character, 'n'}, heard, {9, ValueMode::Level, 0}, true},
        {{200, ValueMode::Level, 0}, {Kind::Right, 0}, heard, {3, ValueMode::Level, 0}, true},
        {{3, ValueMode::Level, 2}, {Kind::Left, 0}, heard, {200, ValueMode::Level, 0}, true},
        {{9, ValueMode::Level, 0}, {Kind::Character, 'p'}, heard, {3, ValueMode::Level, 0}, true},
        {{5, ValueMode::Level, 0}, {Kind::Right, 0}, heard, {9, ValueMode::Level, 0}, true},
        {{5, ValueMode::Level, 0}, {Kind::Left, 0}, heard, {3, ValueMode::Level, 0}, true},
        {{5, ValueMode::Level, 0}, {Kind::Right, 0}, {}, {5, ValueMode::Level, 0}, true},
        {{3, ValueMode::Level, 0}, {Kind::Character, 'm'}, heard, {3, ValueMode::Percent, 0}, true},
        {{3, ValueMode::Percent, 0}, {Kind::Character, 'm'}, heard, {3, ValueMode::Hex, 0}, true},
        {{3, ValueMode::Hex, 0}, {Kind::Character, 'm'}, heard, {3, ValueMode::Level, 0}, true},
        {{3, ValueMode::Level, 0}, {Kind::Up, 0}, heard, {3, ValueMode::Level, 0}, true},
        {{3, ValueMode::Level, 2}, {Kind::Up, 0}, heard, {3, ValueMode::Level, 1}, true},
        {{3, ValueMode::Level, 2}, {Kind::Down, 0}, heard, {3, ValueMode::Level, 3}, true},
        {{3, ValueMode::Level, 0}, {Kind::Character, 'x'}, heard, {3, ValueMode::Level, 0}, true},
        {{3, ValueMode::Level, 0}, {Kind::Character, 'q'}, heard, {3, ValueMode::Level, 0}, false},
        {{3, ValueMode::Level, 0}, {Kind::Character, 'Q'}, heard, {3, ValueMode::Level, 0}, false},
    };
    for (const auto& each : cases) {
        ScreenView view{each.view.universe, each.view.mode, each.view.firstRow, {}};
        EXPECT_EQ(clitool::ApplyKey(each.key, view, each.universes), each.goOn);
        EXPECT_EQ(view.universe, each.after.universe);
        EXPECT_EQ(view.mode, each.after.mode);
        EXPECT_EQ(view.firstRow, each.after.firstRow);
    }
}

}  // namespace
