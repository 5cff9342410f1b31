// The test patterns as the exact bytes a node receives, at literal times.
#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "pattern/Pattern.h"

using namespace std::chrono_literals;
using pattern::Duration;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A raw frame of universe 1, start code 0: header, the levels from channel 1, the trailer.
Bytes Frame(std::initializer_list<std::uint8_t> levels) {
    Bytes frame{
        'V', 'X', 'D', 'D', 0x00, 0x00, 0x01, 0x00, static_cast<std::uint8_t>(levels.size())};
    for (const std::uint8_t level : levels) frame.push_back(level);
    frame.push_back(0x00);
    return frame;
}

pattern::Settings Range(int first, int last, std::uint8_t level, std::uint8_t others) {
    pattern::Settings settings;
    settings.first = first;
    settings.last = last;
    settings.level = level;
    settings.others = others;
    return settings;
}

pattern::Settings Chase(pattern::Shape shape, double rate, int first, int last, std::uint8_t level,
                        std::uint8_t others) {
    pattern::Settings settings = Range(first, last, level, others);
    settings.kind = pattern::Kind::Chase;
    settings.shape = shape;
    settings.rate = rate;
    return settings;
}

struct Step {
    Duration at;
    std::optional<Bytes> sent;  // nothing: the tick sends nothing
};

struct PatternCase {
    const char* name;
    pattern::Settings settings;
    std::vector<Step> steps;
};

std::vector<PatternCase> PatternCases() {
    pattern::Settings blink = Range(2, 4, 255, 0);
    blink.blink = true;
    pattern::Settings fastRefresh = Range(2, 3, 9, 1);
    fastRefresh.refresh = 4.0;
    pattern::Settings ramp = Range(2, 3, 200, 77);
    ramp.kind = pattern::Kind::Ramp;
    ramp.period = 2.0;
    return {
        {"CheckSendsOnceThenRefreshesEverySecond",
         Range(2, 4, 200, 10),
         {{0ms, Frame({0, 200, 10, 10})},
          {100ms, {}},
          {999ms, {}},
          {1000ms, Frame({0, 200, 10, 10})},
          {1500ms, {}},
          {2000ms, Frame({0, 200, 10, 10})}}},
        {"RefreshAtTheRateAsked",
         fastRefresh,
         {{0ms, Frame({0, 9, 1})}, {249ms, {}}, {250ms, Frame({0, 9, 1})}, {400ms, {}}}},
        {"BlinkOnAndOffAtOneHertz",
         blink,
         {{0ms, Frame({0, 255, 0, 0})},
          {499ms, {}},
          {500ms, Frame({0, 0, 0, 0})},
          {999ms, {}},
          {1000ms, Frame({0, 255, 0, 0})}}},
        {"SnapChaseStepsAndWraps",
         Chase(pattern::Shape::Snap, 2.0, 2, 4, 100, 5),
         {{0ms, Frame({0, 100, 5, 5})},
          {499ms, {}},
          {500ms, Frame({0, 5, 100, 5})},
          {1000ms, Frame({0, 5, 5, 100})},
          {1500ms, Frame({0, 100, 5, 5})}}},
        {"RampChaseCrossFadesLinearly",
         Chase(pattern::Shape::Ramp, 1.0, 1, 2, 200, 0),
         {{0ms, Frame({200, 0})},
          {250ms, Frame({150, 50})},
          {260ms, {}},  // the same sample
          {500ms, Frame({100, 100})},
          {1000ms, Frame({0, 200})},
          {2000ms, Frame({200, 0})}}},
        {"SineChaseCrossFadesEased",
         Chase(pattern::Shape::Sine, 1.0, 1, 2, 200, 0),
         {{0ms, Frame({200, 0})}, {250ms, Frame({171, 29})}, {500ms, Frame({100, 100})}}},
        {"RampGoesFromZeroToTheLevelAndBack",
         ramp,
         {{0ms, Frame({0, 0, 0})},
          {250ms, Frame({0, 50, 50})},
          {1000ms, Frame({0, 200, 200})},
          {1500ms, Frame({0, 100, 100})},
          {2000ms, Frame({0, 0, 0})}}},
    };
}

class PatternFrames : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternFrames, AreSentAsAndWhenExpected) {
    pattern::Player player(GetParam().settings, 0ms);
    for (const Step& step : GetParam().steps) {
        SCOPED_TRACE(std::to_string(step.at.count() / 1'000'000) + " ms");
        EXPECT_EQ(player.Tick(step.at), step.sent);
    }
}

INSTANTIATE_TEST_SUITE_P(Pattern, PatternFrames, ::testing::ValuesIn(PatternCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PatternPlayer, HeaderCarriesUniverseStartCodeTypeAndTheRangesLastChannel) {
    pattern::Settings settings = Range(299, 300, 0xAB, 0x01);
    settings.universe = 256;
    settings.startCode = 0x55;
    settings.dataType = 4;
    pattern::Player player(settings, 5s);
    const std::optional<Bytes> frame = player.Tick(5s);
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->size(), 310u);
    EXPECT_EQ(Bytes(frame->begin(), frame->begin() + 9),
              (Bytes{'V', 'X', 'D', 'D', 0xFF, 0x55, 0x04, 0x01, 0x2C}));
    EXPECT_EQ(Bytes(frame->begin() + 9, frame->begin() + 307), Bytes(298, 0x00));
    EXPECT_EQ(Bytes(frame->end() - 3, frame->end()), (Bytes{0xAB, 0x01, 0x00}));
    const Bytes zero = player.ZeroFrame();
    ASSERT_EQ(zero.size(), 310u);
    EXPECT_EQ(Bytes(zero.begin(), zero.begin() + 9), Bytes(frame->begin(), frame->begin() + 9));
    EXPECT_EQ(Bytes(zero.begin() + 9, zero.end()), Bytes(301, 0x00));
}

// Next and Previous stop at the range's ends; each move is sent at once.
TEST(PatternPlayer, NextAndPreviousStopAtTheEnds) {
    struct Move {
        bool next;
        bool moved;
        int channel;
        std::optional<Bytes> sent;
    };
    const std::vector<Move> moves{
        {false, false, 2, std::nullopt}, {true, true, 3, Frame({0, 0, 50})},
        {true, false, 3, std::nullopt},  {false, true, 2, Frame({0, 50, 0})},
        {false, false, 2, std::nullopt},
    };
    pattern::Player player(Range(2, 3, 50, 0), 0ms);
    ASSERT_EQ(player.Tick(0ms), Frame({0, 50, 0}));
    Duration now = 0ms;
    for (const Move& move : moves) {
        now += 10ms;
        SCOPED_TRACE(now.count());
        EXPECT_EQ(move.next ? player.Next(now) : player.Previous(now), move.moved);
        EXPECT_EQ(player.ChannelAt(now), move.channel);
        EXPECT_EQ(player.NextDue() <= now, move.moved);
        EXPECT_EQ(player.Tick(now), move.sent);
    }
}

// Deadlines are steps from the start, rounded once: no drift after an hour at 44 Hz.
TEST(PatternPlayer, DeadlinesAreAbsolute) {
    struct Due {
        Duration tick;
        Duration due;
        int channel;
    };
    const std::vector<Due> dues{
        {0ns, 22'727'273ns, 1},          {22'727'273ns, 45'454'545ns, 2},
        {22'800'000ns, 45'454'545ns, 2},  // a late tick does not move the next deadline
        {999'999'999ns, 1s, 4},          {1s, 1'022'727'273ns, 1},
        {3600s, 3'600'022'727'273ns, 1},
    };
    pattern::Player player(Chase(pattern::Shape::Snap, 44.0, 1, 4, 255, 0), 0ns);
    for (const Due& due : dues) {
        SCOPED_TRACE(due.tick.count());
        player.Tick(due.tick);
        EXPECT_EQ(player.NextDue(), due.due);
        EXPECT_EQ(player.ChannelAt(due.tick), due.channel);
    }
}

TEST(PatternPlayer, AFadeWakesOnlyForItsSamplesAndRefreshes) {
    pattern::Settings check = Range(1, 1, 255, 0);
    pattern::Player still(check, 0ms);
    still.Tick(0ms);
    EXPECT_EQ(still.NextDue(), 1s);
    pattern::Player blink = [&] {
        check.blink = true;
        return pattern::Player(check, 0ms);
    }();
    blink.Tick(0ms);
    EXPECT_EQ(blink.NextDue(), 500ms);
    pattern::Settings ramp = Range(1, 1, 1, 0);
    ramp.kind = pattern::Kind::Ramp;
    ramp.period = 100.0;
    pattern::Player slow(ramp, 0ms);
    slow.Tick(0ms);
    // Unchanged samples are not sent, but the next sample stays the next wake-up.
    EXPECT_EQ(slow.Tick(22'727'273ns), std::nullopt);
    EXPECT_EQ(slow.NextDue(), 45'454'545ns);
}

TEST(PatternSettings, OutOfRangeGetsOneLine) {
    struct Bad {
        pattern::Settings settings;
        const char* error;
    };
    const auto with = [](auto change) {
        pattern::Settings settings = Chase(pattern::Shape::Snap, 10.0, 1, 512, 255, 0);
        change(settings);
        return settings;
    };
    const char* const channels = "the channels must be FIRST-LAST with 1 <= FIRST <= LAST <= 512";
    const std::vector<Bad> cases{
        {with([](auto&) {}), ""},
        {with([](auto& s) { s.first = 0; }), channels},
        {with([](auto& s) { s.last = 513; }), channels},
        {with([](auto& s) { s.first = 9, s.last = 8; }), channels},
        {with([](auto& s) { s.rate = 0.4; }), "the chase rate must be 0.5 to 44 steps a second"},
        {with([](auto& s) { s.rate = 44.5; }), "the chase rate must be 0.5 to 44 steps a second"},
        {with([](auto& s) { s.rate = 44.0; }), ""},
        {with([](auto& s) { s.universe = 257; }), "the universe must be 1 to 256"},
        {with([](auto& s) { s.startCode = -1; }), "the start code must be 0 to 255"},
        {with([](auto& s) { s.refresh = 0.0; }), "the refresh rate must be 0.1 to 44 a second"},
        {with([](auto& s) { s.kind = pattern::Kind::Ramp, s.period = 0.05; }),
         "the ramp period must be 0.1 to 3600 seconds"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(pattern::Validate(cases[i].settings), cases[i].error) << "case " << i;
    }
}

}  // namespace
