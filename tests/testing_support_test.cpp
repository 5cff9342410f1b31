// The helpers' parsers against fixed texts as Linux writes them, and their option reading.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/FrameTiming.h"
#include "testing/Options.h"
#include "testing/PeerSocket.h"
#include "testing/ProcStatus.h"

namespace {

constexpr char kStatus[] =
    "Name:\tpraveltest\n"
    "VmPeak:\t  812344 kB\n"
    "VmHWM:\t   29388 kB\n"
    "VmRSS:\t   28120 kB\n"
    "voluntary_ctxt_switches:\t601\n"
    "nonvoluntary_ctxt_switches:\t7\n";

TEST(ProcStatusTest, StatusFieldReadsTheNumberOfTheNamedLineOnly) {
    const struct {
        const char* name;
        long expected;
    } cases[] = {
        {"VmHWM", 29388},
        {"VmRSS", 28120},
        {"voluntary_ctxt_switches", 601},
        {"nonvoluntary_ctxt_switches", 7},
        {"Vm", -1},  // a prefix of a name is not the name
        {"VmSwap", -1},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(lab::StatusField(kStatus, each.name), each.expected) << each.name;
    }
}

TEST(ProcStatusTest, UdpCountersPairTheNameLineWithTheValueLine) {
    const std::string snmp =
        "Tcp: RtoAlgorithm ActiveOpens\nTcp: 1 4\n"
        "Udp: InDatagrams NoPorts InErrors OutDatagrams RcvbufErrors SndbufErrors\n"
        "Udp: 6008 2 64046 7100 64046 0\n"
        "UdpLite: InDatagrams NoPorts\nUdpLite: 9 9\n";
    const auto counters = lab::UdpCounters(snmp);
    EXPECT_EQ(counters.size(), 6u);
    EXPECT_EQ(counters.at("InDatagrams"), 6008);
    EXPECT_EQ(counters.at("OutDatagrams"), 7100);
    EXPECT_EQ(counters.at("RcvbufErrors"), 64046);
    EXPECT_TRUE(lab::UdpCounters("Udp: InDatagrams\n").empty());
}

TEST(ProcStatusTest, FindUdpSocketReadsQueueAndDropsOfThePort) {
    const std::string udp =
        "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode ref pointer drops\n"
        "  101: 00000000:0D04 00000000:0000 07 00000000:00000000 00:00000000 00000000     0"
        "        0 4711 2 0000000000000000 0\n"
        "  102: 00000000:0D05 00000000:0000 07 00000000:003FF200 00:00000000 00000000     0"
        "        0 4712 2 0000000000000000 13472\n";
    const struct {
        std::uint16_t port;
        bool found;
        long queue;
        long drops;
    } cases[] = {
        {3333, true, 0x3FF200, 13472},
        {3332, true, 0, 0},
        {3334, false, 0, 0},
    };
    for (const auto& each : cases) {
        const auto state = lab::FindUdpSocket(udp, each.port);
        ASSERT_EQ(state.has_value(), each.found) << each.port;
        if (!state) continue;
        EXPECT_EQ(state->receiveQueueBytes, each.queue) << each.port;
        EXPECT_EQ(state->drops, each.drops) << each.port;
    }
}

TEST(ProcStatusTest, ClockTicksAddsUtimeAndStimePastANameWithSpaces) {
    EXPECT_EQ(lab::ClockTicks("812 (a b) c) S 1 812 812 0 -1 4194560 100 0 0 0 37 5 0 0 20 0"), 42);
    EXPECT_EQ(lab::ClockTicks("812 (short) S 1"), -1);
}

std::vector<char*> Argv(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    return argv;
}

TEST(OptionsTest, PairsAreReadAndBadOnesAreUsageErrors) {
    std::vector<std::string> good{"perf", "idle",   "--seconds", "5",      "--host",
                                  "a",    "--host", "b",         "--mask", "0x10"};
    auto argv = Argv(good);
    const lab::Options options(static_cast<int>(argv.size()), argv.data(), 2,
                               {"seconds", "host", "runs", "mask"});
    EXPECT_EQ(options.Number("seconds", 60), 5);
    EXPECT_EQ(options.Number("mask", 0), 16);
    EXPECT_EQ(options.Number("runs", 10), 10);
    EXPECT_EQ(options.Text("host"), "b");
    EXPECT_EQ(options.All("host"), (std::vector<std::string>{"a", "b"}));

    const std::vector<std::vector<std::string>> bad{
        {"perf", "idle", "--minutes", "5"},  // unknown
        {"perf", "idle", "--seconds"},       // no value
        {"perf", "idle", "seconds", "5"},    // not an option
    };
    for (auto words : bad) {
        auto badArgv = Argv(words);
        EXPECT_THROW(lab::Options(static_cast<int>(badArgv.size()), badArgv.data(), 2, {"seconds"}),
                     lab::UsageError)
            << words[2];
    }
    std::vector<std::string> notNumber{"perf", "idle", "--seconds", "5s"};
    auto notNumberArgv = Argv(notNumber);
    const lab::Options wrong(4, notNumberArgv.data(), 2, {"seconds"});
    EXPECT_THROW(wrong.Number("seconds", 1), lab::UsageError);
}

TEST(PeerSocketTest, WhatCameBeforeTheSentinelIsReturnedInOrderWithoutIt) {
    using testing_support::Bytes;
    testing_support::PeerSocket observer;
    testing_support::PeerSocket sender;
    testing_support::PeerSocket sentinelSender;
    ASSERT_TRUE(sender.SendTo("127.0.0.1", observer.Port(), Bytes("first")));
    ASSERT_TRUE(sender.SendTo("127.0.0.1", observer.Port(), Bytes("second")));
    // The same bytes from elsewhere are not the sentinel.
    ASSERT_TRUE(sender.SendTo("127.0.0.1", observer.Port(), Bytes("sentinel 1")));

    const auto before = observer.ReceiveBeforeSentinel(sentinelSender, "127.0.0.1");
    ASSERT_TRUE(before);
    ASSERT_EQ(before->size(), 3u);
    EXPECT_EQ((*before)[0].bytes, Bytes("first"));
    EXPECT_EQ((*before)[1].bytes, Bytes("second"));
    EXPECT_EQ((*before)[2].senderPort, sender.Port());
    const auto none = observer.ReceiveBeforeSentinel(sentinelSender, "127.0.0.1");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST(PeerSocketTest, ASentinelThatCannotArriveIsNoneAtTheEnd) {
    testing_support::PeerSocket observer;
    testing_support::PeerSocket sentinelSender;
    // Another loopback address: no socket there has the observer's port.
    EXPECT_FALSE(observer.ReceiveBeforeSentinel(sentinelSender, "127.0.0.2",
                                                std::chrono::milliseconds(100)));
}

// A period of 10 ms: steady frames, one late frame, and a schedule that drifts.
TEST(FrameTimingTest, IntervalsAndTheLatestFrameBehindItsDeadline) {
    struct Case {
        std::vector<std::int64_t> arrivalsNs;
        double median, longest, latest;
    };
    const std::vector<Case> cases{
        {{1'000'000, 11'000'000, 21'000'000, 31'000'000}, 10.0, 10.0, 0.0},
        {{0, 10'000'000, 24'000'000, 30'000'000, 40'000'000}, 10.0, 14.0, 4.0},
        {{0, 11'000'000, 22'000'000, 33'000'000, 44'000'000}, 11.0, 11.0, 4.0},
    };
    for (const Case& c : cases) {
        const auto timing = testing_support::TimeFrames(c.arrivalsNs, 10'000'000.0);
        EXPECT_EQ(timing.frames, c.arrivalsNs.size());
        EXPECT_DOUBLE_EQ(timing.medianIntervalMs, c.median);
        EXPECT_DOUBLE_EQ(timing.longestIntervalMs, c.longest);
        EXPECT_DOUBLE_EQ(timing.latestMs, c.latest);
    }
}

}  // namespace
