// praveltest-cli pattern on the lab's tool host: a praveltest-node on one host hears every frame,
// an observer on another stamps their arrival in the kernel, and the chase keeps its rate.
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <sstream>

#include "testing/FrameTiming.h"
#include "testing/PeerSocket.h"
#include "testing/Process.h"
#include "tests/lab/RequireLab.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Universe 1, start code 0, raw, channels 1 to 4.
Bytes Frame4(std::uint8_t one, std::uint8_t two, std::uint8_t three, std::uint8_t four) {
    return {'V', 'X', 'D', 'D', 0x00, 0x00, 0x01, 0x00, 0x04, one, two, three, four, 0x00};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class PatternInLab : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_LAB();
        lab = std::make_unique<lab::Lab>();
        node = std::make_unique<lab::Process>(
            lab::NamespaceCommand(lab->AddHost("10.1.2.20"), {PRAVELTEST_NODE_BINARY}));
        ASSERT_TRUE(node->WaitForLineStartingWith("ready ", 10s)) << node->Errors();
        lab::InNamespace(lab->AddHost("10.1.2.21"), [&] {
            observer = std::make_unique<testing_support::PeerSocket>("0.0.0.0", 3333);
        });
        observer->SetReceiveBuffer(1 << 20);
    }
    std::unique_ptr<lab::Process> Cli(const std::vector<std::string>& args) {
        std::vector<std::string> argv{PRAVELTEST_CLI_BINARY, "pattern"};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<lab::Process>(lab::NamespaceCommand(lab->ToolNamespace(), argv));
    }
    // Every frame up to and including the first that sets all to 0, waited for with a bound.
    std::vector<testing_support::Datagram> FramesToZero(const Bytes& zero) {
        std::vector<testing_support::Datagram> frames;
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            auto datagram = observer->Receive(1s);
            if (!datagram) continue;
            frames.push_back(std::move(*datagram));
            if (frames.back().bytes == zero) break;
        }
        return frames;
    }

    std::unique_ptr<lab::Lab> lab;
    std::unique_ptr<lab::Process> node;
    std::unique_ptr<testing_support::PeerSocket> observer;
};

// Two seconds at 44 steps a second: 88 frames a period apart, without drift, then the zero frame;
// the node hears each of them.
TEST_F(PatternInLab, AChaseArrivesAtTheRateAskedAndEndsAtZero) {
    auto cli = Cli({"chase", "--channels", "1-4", "--rate", "44", "--seconds", "2"});
    const std::vector<testing_support::Datagram> frames = FramesToZero(Frame4(0, 0, 0, 0));
    const auto status = cli->Wait(10s);
    ASSERT_TRUE(status && status->Exited(0)) << cli->Errors();
    ASSERT_GE(frames.size(), 5u);
    EXPECT_EQ(frames[0].bytes, Frame4(255, 0, 0, 0));
    EXPECT_EQ(frames[1].bytes, Frame4(0, 255, 0, 0));
    EXPECT_EQ(frames[2].bytes, Frame4(0, 0, 255, 0));
    EXPECT_EQ(frames[3].bytes, Frame4(0, 0, 0, 255));
    EXPECT_EQ(frames[4].bytes, Frame4(255, 0, 0, 0));
    EXPECT_EQ(frames.back().bytes, Frame4(0, 0, 0, 0));
    std::vector<std::int64_t> arrivals;
    for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
        EXPECT_EQ(frames[i].senderAddress, "10.1.2.3");
        arrivals.push_back(frames[i].kernelRealtimeNs);
    }
    // Steps at 0, 1/44, ... up to but not at 2 s.
    EXPECT_EQ(arrivals.size(), 88u);
    const testing_support::FrameTiming timing = testing_support::TimeFrames(arrivals, 1e9 / 44);
    // 22.73 ms a frame. Generous for a loaded test machine, yet a coarse timer (+-5 %) or a
    // schedule that drifts by a millisecond a frame fails them.
    EXPECT_NEAR(timing.medianIntervalMs, 22.727, 1.0);
    EXPECT_LT(timing.latestMs, 15.0);
    // The node printed a line for each frame, the last one all zero.
    const auto heard = node->WaitForLine(
        [](const std::string& line) { return line.find("levels=0-0") != std::string::npos; }, 10s);
    ASSERT_TRUE(heard) << node->Output();
    std::size_t dmxLines = 0;
    for (const std::string& line : Lines(node->Output())) {
        if (line.starts_with("dmx from=10.1.2.3:3333 universe=1 ")) ++dmxLines;
    }
    EXPECT_EQ(dmxLines, frames.size());
    const auto lines = Lines(cli->Output());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 2], "zero channels=1-4");
    EXPECT_EQ(lines.back(), "sent frames=89");
}

// Ctrl+C and SIGTERM end a chase with the zero frame and exit 0.
TEST_F(PatternInLab, AStopRequestEndsAtZero) {
    for (const int stopSignal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(stopSignal);
        auto cli = Cli({"chase", "--channels", "1-4", "--rate", "10", "--level", "7"});
        ASSERT_TRUE(cli->WaitForLineStartingWith("channel 2", 10s)) << cli->Errors();
        cli->Signal(stopSignal);
        const auto status = cli->Wait(10s);
        ASSERT_TRUE(status) << "still running";
        EXPECT_TRUE(status->Exited(0)) << lab::Describe(*status);
        const std::vector<testing_support::Datagram> frames = FramesToZero(Frame4(0, 0, 0, 0));
        ASSERT_GE(frames.size(), 3u);
        EXPECT_EQ(frames[0].bytes, Frame4(7, 0, 0, 0));
        EXPECT_EQ(frames[1].bytes, Frame4(0, 7, 0, 0));
        EXPECT_EQ(frames.back().bytes, Frame4(0, 0, 0, 0));
        EXPECT_EQ(Lines(cli->Output()).back(), "sent frames=" + std::to_string(frames.size()));
    }
}

}  // namespace
