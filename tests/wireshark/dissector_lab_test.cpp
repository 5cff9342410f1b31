// A capture of the real traffic in the namespace lab, read back with the dissector: the window
// program's start-up poll, the simulated node's reply and a DMX data message built as the window
// builds it, each decoded field compared with what was sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "output/OutputSettings.h"
#include "protocol/NodeProtocol.h"
#include "tests/lab/RequireLab.h"
#include "testing/Process.h"
#include "testing/PeerSocket.h"
#include "tests/wireshark/TShark.h"

namespace {

using namespace std::chrono_literals;

// Only upper bounds: each wait ends as soon as what it waits for has happened.
constexpr auto kStartUp = 20s;
constexpr auto kCaptureLimit = 20s;

template <class F>
bool Eventually(F done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// The frame whose text holds the given line, or "".
std::string FrameWith(const std::vector<std::string>& frames, const std::string& line) {
    for (const std::string& frame : frames) {
        const auto lines = wireshark_support::Lines(frame);
        if (std::find(lines.begin(), lines.end(), line) != lines.end()) return frame;
    }
    return "";
}

struct Expected {
    const char* message;             // the protocol line that picks the frame
    std::vector<std::string> lines;  // every one a line of that frame, indentation off
};

TEST(DissectorInLab, DecodesThePollTheReplyAndDmxDataOfTheRealPrograms) {
    REQUIRE_LAB();
    REQUIRE_TSHARK();
    wireshark_support::ScratchDirectory scratch;
    const std::string capture = scratch.File("lab.pcapng");
    lab::Lab lab;
    const std::string nodeHost = lab.AddHost("10.1.2.20");

    // Exactly the three datagrams below cross the tool host's interface on port 3333.
    lab::Process dumpcap(lab::NamespaceCommand(
        lab.ToolNamespace(), {"dumpcap", "-q", "-i", lab::kHostInterface, "-f", "udp port 3333",
                              "-c", "3", "-w", capture}));
    ASSERT_TRUE(Eventually(
        [&] { return dumpcap.Errors().find("Capturing on") != std::string::npos; }, kStartUp))
        << dumpcap.Errors();

    lab::Process node(lab::NamespaceCommand(nodeHost, {PRAVELTEST_NODE_BINARY,
                                                       "--name",
                                                       "LabNode",
                                                       "--mac",
                                                       "02:aa:bb:cc:dd:ee",
                                                       "--node-type",
                                                       "1234",
                                                       "--version",
                                                       "3",
                                                       "--switches",
                                                       "0x80",
                                                       "--options",
                                                       "5",
                                                       "--tos",
                                                       "2",
                                                       "--ttl",
                                                       "32",
                                                       "--listen-to",
                                                       "1",
                                                       "--listen-address",
                                                       "10.1.2.255",
                                                       "--universe",
                                                       "3"}));
    ASSERT_TRUE(node.WaitForLineStartingWith("ready ", 10s)) << node.Errors();
    lab::Process program(lab.ExecCommand(lab.ToolNamespace(), {PRAVELTEST_BINARY}),
                         {"QT_QPA_PLATFORM=offscreen"});
    ASSERT_TRUE(node.WaitForLineStartingWith("poll ", kStartUp))
        << node.Output() << program.Errors();

    const output::OutputSettings settings{.channelCount = 24,
                                          .levelText = "",
                                          .dataFormat = output::kRunLength,
                                          .universe = 3,
                                          .startCode = 0xCC};
    protocol::DmxBuffer buffer;
    const std::size_t length = output::BuildLevelMessage(settings, 200, buffer);
    auto sender = lab::InNamespace(lab.ToolNamespace(), [] {
        return std::make_unique<testing_support::PeerSocket>("0.0.0.0", protocol::kNodePort, true);
    });
    ASSERT_TRUE(sender->SendTo("10.1.2.255", protocol::kNodePort,
                               {buffer.begin(), buffer.begin() + length}));
    ASSERT_TRUE(node.WaitForLineStartingWith("dmx ", 10s)) << node.Output();

    const auto captured = dumpcap.Wait(kCaptureLimit);
    ASSERT_TRUE(captured) << "dumpcap did not see three datagrams: " << dumpcap.Errors();
    ASSERT_TRUE(captured->Exited(0)) << lab::Describe(*captured) << dumpcap.Errors();
    program.Stop();

    const auto decoded = wireshark_support::Decode(capture, scratch);
    EXPECT_EQ(decoded.text.find("Lua Error"), std::string::npos) << decoded.text;
    ASSERT_EQ(decoded.frames.size(), 3u) << decoded.text;
    const std::vector<Expected> expected{
        {"PraveltTest Node Protocol, Poll (VXPP)",
         {"Internet Protocol Version 4, Src: 10.1.2.3, Dst: 10.1.2.255",
          "User Datagram Protocol, Src Port: 3333, Dst Port: 3333", "[Datagram Length: 5]",
          "Message Code: VXPP", "Poll Byte: 0x01"}},
        {"PraveltTest Node Protocol, Poll reply (VXPR), Node Name: LabNode",
         {"Internet Protocol Version 4, Src: 10.1.2.20, Dst: 10.1.2.3", "[Datagram Length: 33]",
          "[IP Address: 10.1.2.20]", "MAC Address: 02 AA BB CC DD EE", "Node Type: 1234",
          "Version: 03", "Switch Settings: 80", "Node Name: LabNode",
          "Options: Node is configured, Enable Error Correction", "Type of Service: 02",
          "Packet TTL: 20", "Listen to: Class C Broadcast", "Listen IP Address: 10.1.2.255",
          "DMX Universe: 4 (1537-2048)"}},
        {"PraveltTest Node Protocol, DMX data (VXDD)",
         {"Internet Protocol Version 4, Src: 10.1.2.3, Dst: 10.1.2.255",
          "User Datagram Protocol, Src Port: 3333, Dst Port: 3333", "[Datagram Length: 34]",
          "Universe: 3 (byte 2)", "Start Code: 204", "Data Type: Run-length encoded (4)",
          "Channel Count: 24", "Levels: 24 channels, all 200", "Channel 1: 200", "Channel 24: 200",
          "Trailer: 0"}},
    };
    for (const Expected& message : expected) {
        SCOPED_TRACE(message.message);
        const std::string frame = FrameWith(decoded.frames, message.message);
        ASSERT_FALSE(frame.empty()) << decoded.text;
        EXPECT_EQ(frame.find("Expert Info"), std::string::npos) << frame;
        const auto lines = wireshark_support::Lines(frame);
        for (const std::string& line : message.lines) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end())
                << "no line \"" << line << "\" in\n"
                << frame;
        }
    }
}

}  // namespace
