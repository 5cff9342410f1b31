// A capture of real traffic in the namespace lab, read back with the dissector: the window
// program's start-up poll and the simulated node's reply, each decoded field compared with what
// was sent.
#include <gtest/gtest.h>

#include "testing/LabNode.h"
#include "tests/lab/RequireLab.h"
#include "tests/wireshark/TShark.h"

namespace {

using namespace std::chrono_literals;

TEST(DissectorInLab, DecodesTheRealProgramsPollAndTheNodesReply) {
    REQUIRE_LAB();
    REQUIRE_TSHARK();
    wireshark_support::Scratch scratch;
    const std::string capture = scratch.File("lab.pcapng");
    lab::Lab lab;
    const std::string nodeHost = lab.AddHost("10.1.2.20");

    // The poll and the reply are all that cross the tool host's interface on port 3333; dumpcap
    // says it is capturing on standard error, which comes to the test as output here.
    lab::Process dumpcap(lab::NamespaceCommand(
        lab.ToolNamespace(),
        {"sh", "-c", "exec dumpcap -q -i eth0 -f 'udp port 3333' -c 2 -w " + capture + " 2>&1"}));
    ASSERT_TRUE(dumpcap.WaitForLineStartingWith("Capturing on", 20s)) << dumpcap.Output();
    const std::vector<std::string> nodeArgs{"--name",
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
                                            "3"};
    const auto node = lab::StartNode(PRAVELTEST_NODE_BINARY, nodeHost, nodeArgs);
    lab::Process program(lab.ExecCommand(lab.ToolNamespace(), {PRAVELTEST_BINARY}),
                         {"QT_QPA_PLATFORM=offscreen"});
    const auto captured = dumpcap.Wait(20s);
    ASSERT_TRUE(captured) << "no poll and reply seen: " << dumpcap.Output() << node->Output();
    ASSERT_TRUE(captured->Exited(0)) << lab::Describe(*captured) << dumpcap.Output();
    program.Stop();

    // The reply answers the poll, so the capture holds them in this order.
    const std::vector<std::vector<std::string>> expected{
        {"Internet Protocol Version 4, Src: 10.1.2.3, Dst: 10.1.2.255",
         "User Datagram Protocol, Src Port: 3333, Dst Port: 3333", "[Datagram Length: 5]",
         "PraveltTest Node Protocol, Poll (VXPP)", "Message Code: VXPP", "Poll Byte: 0x01"},
        {"Internet Protocol Version 4, Src: 10.1.2.20, Dst: 10.1.2.3", "[Datagram Length: 33]",
         "PraveltTest Node Protocol, Poll reply (VXPR), Node Name: LabNode",
         "[IP Address: 10.1.2.20]", "MAC Address: 02 AA BB CC DD EE", "Node Type: 1234",
         "Version: 03", "Switch Settings: 80", "Node Name: LabNode",
         "Options: Node is configured, Enable Error Correction", "Type of Service: 02",
         "Packet TTL: 20", "Listen to: Class C Broadcast", "Listen IP Address: 10.1.2.255",
         "DMX Universe: 4 (1537-2048)"},
    };
    const auto frames = wireshark_support::Decode(scratch, capture);
    ASSERT_EQ(frames.size(), expected.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(wireshark_support::Missing(frames[i], expected[i]), std::vector<std::string>{})
            << frames[i];
        EXPECT_EQ(frames[i].find("Expert Info"), std::string::npos) << frames[i];
    }
}

}  // namespace
