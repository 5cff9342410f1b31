// The monitor model: what it keeps of the frames fed to it, what it tells a listener, and that
// it stays bounded whatever arrives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "monitor/DmxMonitor.h"
#include "testing/DmxFrame.h"

using namespace std::chrono_literals;
using testing_support::DmxFrame;

namespace {

using Bytes = std::vector<std::uint8_t>;

// 10.1.2.<host> in network order, as the socket gives it.
monitor::FrameSender From(std::uint8_t host, std::uint16_t port = 3333) {
    const std::uint8_t bytes[4] = {10, 1, 2, host};
    std::uint32_t address;
    std::memcpy(&address, bytes, sizeof address);
    return {address, port};
}

monitor::Time At(monitor::Duration offset) {
    return monitor::Time(std::chrono::hours(1) + offset);
}

// Every event as one line of text, so a sequence reads as a log.
class Recorder : public monitor::Listener {
public:
    std::vector<std::string> lines;

    void SourceFound(const monitor::Source& source, monitor::Time at) override {
        Add(at, "found " + Name(source));
    }
    void FrameChanged(const monitor::Source& source,
                      std::span<const monitor::ChannelChange> changes, monitor::Time at) override {
        std::string line = "frame " + Name(source);
        for (const auto& change : changes) {
            line += ' ' + std::to_string(change.channel) + '@' + std::to_string(change.level);
        }
        Add(at, line);
    }
    void SourceLost(const monitor::Source& source, monitor::Time at) override {
        Add(at, "lost " + Name(source));
    }
    void ConflictStarted(const monitor::Universe& universe, monitor::Time at) override {
        Add(at, "conflict " + std::to_string(universe.number));
    }

private:
    static std::string Name(const monitor::Source& source) {
        return source.addressText + "/" + std::to_string(source.universe);
    }
    void Add(monitor::Time at, const std::string& text) {
        lines.push_back(std::to_string((at - At(0ms)) / 1ms) + " " + text);
    }
};

struct Step {
    int ms;  // -1: expire at the time given as host instead of feeding
    std::uint8_t host;
    Bytes datagram;
};

struct EventCase {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::string> expected;
};

class MonitorEvents : public ::testing::TestWithParam<EventCase> {};

TEST_P(MonitorEvents, TellsTheListenerWhatChanged) {
    Recorder recorder;
    monitor::DmxMonitor model(&recorder);
    for (const Step& step : GetParam().steps) {
        if (step.ms < 0) {
            model.Expire(At(std::chrono::milliseconds(step.host * 100)));
        } else {
            model.Feed(step.datagram, From(step.host), At(std::chrono::milliseconds(step.ms)));
        }
    }
    EXPECT_EQ(recorder.lines, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, MonitorEvents,
    ::testing::Values(
        EventCase{"FirstFrameIsEveryChannel",
                  {{0, 30, DmxFrame(3, {0, 128, 255})}},
                  {"0 found 10.1.2.30/3", "0 frame 10.1.2.30/3 1@0 2@128 3@255"}},
        EventCase{"OnlyChangedChannelsAndNothingForARepeat",
                  {{0, 30, DmxFrame(1, {10, 20, 30})},
                   {25, 30, DmxFrame(1, {10, 20, 30})},
                   {50, 30, DmxFrame(1, {10, 21, 30})}},
                  {"0 found 10.1.2.30/1", "0 frame 10.1.2.30/1 1@10 2@20 3@30",
                   "50 frame 10.1.2.30/1 2@21"}},
        EventCase{"MoreChannelsAreChangesAndAHeaderChangeIsAFrame",
                  {{0, 30, DmxFrame(1, {5})},
                   {25, 30, DmxFrame(1, {5, 0})},
                   {50, 30, DmxFrame(1, {5, 0}, 0x55, 0x01)}},
                  {"0 found 10.1.2.30/1", "0 frame 10.1.2.30/1 1@5", "25 frame 10.1.2.30/1 2@0",
                   "50 frame 10.1.2.30/1"}},
        EventCase{"LostAfterTwoAndAHalfSecondsThenFoundAgain",
                  {{0, 30, DmxFrame(1, {1})},
                   {-1, 24, {}},  // 2.4 s: still live
                   {-1, 25, {}},
                   {-1, 30, {}},  // told once
                   {3000, 30, DmxFrame(1, {1})}},
                  {"0 found 10.1.2.30/1", "0 frame 10.1.2.30/1 1@1", "2500 lost 10.1.2.30/1",
                   "3000 found 10.1.2.30/1"}},
        EventCase{"TwoLiveSourcesOnOneUniverseConflictOnce",
                  {{0, 30, DmxFrame(5, {1})},
                   {10, 31, DmxFrame(5, {2})},
                   {20, 30, DmxFrame(5, {3})},
                   {30, 32, DmxFrame(6, {4})}},
                  {"0 found 10.1.2.30/5", "0 frame 10.1.2.30/5 1@1", "10 found 10.1.2.31/5",
                   "10 frame 10.1.2.31/5 1@2", "10 conflict 5", "20 frame 10.1.2.30/5 1@3",
                   "30 found 10.1.2.32/6", "30 frame 10.1.2.32/6 1@4"}},
        EventCase{"ALostSourceEndsTheConflictAndItsReturnStartsOneAgain",
                  {{0, 30, DmxFrame(1, {1})},
                   {0, 31, DmxFrame(1, {2})},
                   {2000, 31, DmxFrame(1, {2})},
                   {-1, 25, {}},
                   {2600, 30, DmxFrame(1, {1})}},
                  {"0 found 10.1.2.30/1", "0 frame 10.1.2.30/1 1@1", "0 found 10.1.2.31/1",
                   "0 frame 10.1.2.31/1 1@2", "0 conflict 1", "2500 lost 10.1.2.30/1",
                   "2600 found 10.1.2.30/1", "2600 conflict 1"}},
        EventCase{"MalformedFramesTellNothing",
                  {{0, 30, DmxFrame(1, {})},
                   {0, 30, Bytes{'V', 'X', 'D', 'D', 0, 0, 1, 0x00, 0x03, 7, 7}},
                   {0, 30, Bytes{'V', 'X', 'D', 'D', 0}}},
                  {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct MalformedCase {
    const char* name;
    Bytes datagram;
    std::uint64_t countedOnTheSource;  // 0 when too short to name its universe
};

class MonitorMalformed : public ::testing::TestWithParam<MalformedCase> {};

// Counted, on the source when it is known, and never shown: a node would drop them too.
TEST_P(MonitorMalformed, CountedNeverShown) {
    monitor::DmxMonitor model;
    model.Feed(DmxFrame(1, {9, 9}), From(30), At(0ms));
    model.Feed(GetParam().datagram, From(30), At(10ms));
    EXPECT_EQ(model.Malformed(), 1u);
    EXPECT_EQ(model.Frames(), 1u);
    ASSERT_EQ(model.Sources().size(), 1u);
    const monitor::Source& source = model.Sources()[0];
    EXPECT_EQ(source.channelCount, 2);
    EXPECT_EQ(source.levels[0], 9);
    EXPECT_EQ(source.lastSeen, At(0ms));
    EXPECT_EQ(source.malformed, GetParam().countedOnTheSource);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, MonitorMalformed,
    ::testing::Values(MalformedCase{"NoChannels", DmxFrame(1, {}), 1},
                      MalformedCase{"MoreThan512Channels", DmxFrame(1, Bytes(513, 1)), 1},
                      MalformedCase{"CountLongerThanTheData",
                                    Bytes{'V', 'X', 'D', 'D', 0, 0, 1, 0x00, 0x03, 7, 7}, 1},
                      MalformedCase{"HeaderCutShort", Bytes{'V', 'X', 'D', 'D', 0, 0, 1, 0x00}, 0},
                      MalformedCase{"CodeAlone", Bytes{'V', 'X', 'D', 'D'}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DmxMonitor, KeepsTheLastFrameWithItsHeaderAndWhenEachChannelChanged) {
    monitor::DmxMonitor model;
    model.Feed(DmxFrame(3, {1, 2, 3}, 0x55, 0x04), From(30, 6000), At(0ms));
    model.Feed(DmxFrame(3, {1, 7}, 0x55, 0x04), From(30, 6001), At(40ms), true);
    ASSERT_EQ(model.Sources().size(), 1u);
    const monitor::Source& source = model.Sources()[0];
    EXPECT_EQ(source.addressText, "10.1.2.30");
    EXPECT_EQ(source.port, 6001);
    EXPECT_EQ(source.universe, 3);
    EXPECT_TRUE(source.own);
    EXPECT_EQ(source.startCode, 0x55);
    EXPECT_EQ(source.dataType, 0x04);
    EXPECT_EQ(source.channelCount, 2);
    EXPECT_EQ((std::vector<int>{source.levels[0], source.levels[1], source.levels[2]}),
              (std::vector<int>{1, 7, 0}));
    EXPECT_EQ(source.changedAt[0], At(0ms));
    EXPECT_EQ(source.changedAt[1], At(40ms));
    EXPECT_EQ(source.firstSeen, At(0ms));
    EXPECT_EQ(source.lastSeen, At(40ms));
    EXPECT_EQ(monitor::DataTypeName(source.dataType), "RLE");
    EXPECT_EQ(monitor::DataTypeName(9), "type 9");
    EXPECT_EQ(model.UniverseNumbers(), std::vector<int>{3});
    EXPECT_EQ(model.FindUniverse(4), nullptr);
}

TEST(DmxMonitor, CountsTheRateOverTheLastSecondAndTheGaps) {
    monitor::DmxMonitor model;
    // 44 Hz for two seconds, then one late frame.
    for (int i = 0; i < 88; ++i) {
        model.Feed(DmxFrame(1, {static_cast<std::uint8_t>(i)}), From(30), At(i * 22727us));
    }
    const monitor::Source& source = model.Sources()[0];
    const monitor::Time last = source.lastSeen;
    EXPECT_NEAR(source.FramesPerSecond(last), 44, 1);
    EXPECT_EQ(source.FramesPerSecond(last + 1100ms), 0);
    model.Feed(DmxFrame(1, {1}), From(30), last + 300ms);
    EXPECT_EQ(source.shortestGap, 22727us);
    EXPECT_EQ(source.longestGap, 300ms);
    EXPECT_EQ(source.frames, 89u);
}

TEST(DmxMonitor, HoldsSixteenSourcesAUniverseAndALostOneGivesWay) {
    monitor::DmxMonitor model;
    for (std::uint8_t host = 1; host <= 17; ++host)
        model.Feed(DmxFrame(1, {1}), From(host), At(0ms));
    EXPECT_EQ(model.Sources().size(), 16u);
    EXPECT_EQ(model.RefusedSources(), 1u);
    EXPECT_EQ(model.FindUniverse(1)->sources.size(), 16u);

    // Host 1 falls silent; the others go on.
    for (std::uint8_t host = 2; host <= 16; ++host) {
        model.Feed(DmxFrame(1, {1}), From(host), At(2000ms));
    }
    model.Expire(At(2600ms));
    model.Feed(DmxFrame(1, {1}), From(17), At(2700ms));
    EXPECT_EQ(model.Sources().size(), 16u);
    EXPECT_EQ(model.RefusedSources(), 1u);
    std::vector<std::string> addresses;
    for (const auto& source : model.Sources()) addresses.push_back(source.addressText);
    EXPECT_EQ(addresses.front(), "10.1.2.17");
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), "10.1.2.1"), 0);
}

TEST(DmxMonitor, EveryChangeMovesTheGeneration) {
    monitor::DmxMonitor model;
    std::uint64_t seen = model.Generation();
    const auto moved = [&] {
        const bool result = model.Generation() != seen;
        seen = model.Generation();
        return result;
    };
    model.Feed(DmxFrame(1, {1}), From(30), At(0ms));
    EXPECT_TRUE(moved());
    model.Expire(At(100ms));
    EXPECT_FALSE(moved());
    model.Feed(DmxFrame(1, {}), From(30), At(200ms));
    EXPECT_TRUE(moved());  // the source's malformed count
    model.Expire(At(3000ms));
    EXPECT_TRUE(moved());
    model.Clear();
    EXPECT_TRUE(moved());
    EXPECT_TRUE(model.Sources().empty());
}

// What a source list shows beside rates and times: sources, states and headers, not levels.
TEST(DmxMonitor, OnlySourcesStatesAndHeadersMoveTheStructure) {
    monitor::DmxMonitor model;
    const struct {
        const char* what;
        std::function<void()> step;
        bool moves;
    } steps[] = {
        {"a new source", [&] { model.Feed(DmxFrame(1, {1}), From(30), At(0ms)); }, true},
        {"a repeat", [&] { model.Feed(DmxFrame(1, {1}), From(30), At(20ms)); }, false},
        {"a new level", [&] { model.Feed(DmxFrame(1, {2}), From(30), At(40ms)); }, false},
        {"a new start code", [&] { model.Feed(DmxFrame(1, {2}, 0x55, 1), From(30), At(60ms)); },
         true},
        {"a malformed frame", [&] { model.Feed(DmxFrame(1, {}), From(30), At(80ms)); }, false},
        {"lost", [&] { model.Expire(At(3000ms)); }, true},
        {"found again", [&] { model.Feed(DmxFrame(1, {2}, 0x55, 1), From(30), At(3100ms)); }, true},
        {"cleared", [&] { model.Clear(); }, true},
    };
    for (const auto& step : steps) {
        const std::uint64_t before = model.StructureGeneration();
        step.step();
        EXPECT_EQ(model.StructureGeneration() != before, step.moves) << step.what;
    }
    EXPECT_TRUE(model.UniverseNumbers().empty());
}

}  // namespace
