// The simulated node's sockets in process, on loopback: what runs on Windows as on Linux.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "protocol/NodeProtocol.h"
#include "testing/PeerSocket.h"
#include "tools/SimulatedNode.h"
#include "tools/StopRequest.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Bytes;
using testing_support::PeerSocket;

const std::vector<std::uint8_t> kPoll(protocol::kPollMessage.begin(), protocol::kPollMessage.end());

simnode::NodeOptions OnLoopback(std::uint16_t port) {
    simnode::NodeOptions options;
    options.bindAddress = "127.0.0.1";
    options.port = port;
    options.identity.name = "Truss";
    options.identity.universe = 9;
    return options;
}

std::vector<std::string> LinesOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

TEST(NodeEndpoint, ServesPollsAndDmxUntilAStopIsRequested) {
    std::string why;
    ASSERT_TRUE(simnode::InstallStopRequest(&why)) << why;
    simnode::NodeEndpoint endpoint(OnLoopback(0));
    const std::uint16_t port = endpoint.Port();
    const auto path = std::filesystem::temp_directory_path() /
                      ("praveltest-node-lines-" + std::to_string(port) + ".txt");
    std::FILE* out = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(out, nullptr);
    int status = -1;
    std::thread serving(
        [&] { status = simnode::Serve(endpoint, simnode::StopRequestHandle(), out); });

    PeerSocket program;
    ASSERT_TRUE(program.SendTo("127.0.0.1", port, kPoll));
    const auto reply = program.Receive(2s);
    ASSERT_TRUE(reply);
    const std::vector<std::uint8_t> expected{'V',  'X',  'P',  'R',  0x02, 0x00, 0x00, 0x00, 0x00,
                                             0x01, 0x00, 0x01, 0x01, 0x00, 'T',  'r',  'u',  's',
                                             's',  0,    0,    0,    0,    0,    0x01, 0x00, 0x40,
                                             0x00, 0,    0,    0,    0,    9};
    EXPECT_EQ(reply->bytes, expected);
    EXPECT_EQ(reply->senderAddress, "127.0.0.1");
    EXPECT_NE(reply->senderPort, port) << "replies must not come from the listening socket";

    ASSERT_TRUE(
        program.SendTo("127.0.0.1", port, {'V', 'X', 'D', 'D', 0, 0x55, 4, 0, 3, 1, 2, 30}));
    ASSERT_TRUE(program.SendTo("127.0.0.1", port, {}));
    // Datagrams are served in order: this reply means the two before it were handled.
    ASSERT_TRUE(program.SendTo("127.0.0.1", port, kPoll));
    ASSERT_TRUE(program.Receive(2s));

    simnode::RequestStop();
    serving.join();
    std::fclose(out);
    EXPECT_EQ(status, 0);
    const std::string from = "from=127.0.0.1:" + std::to_string(program.Port());
    EXPECT_EQ(LinesOf(path), (std::vector<std::string>{
                                 "poll " + from + " replies=1",
                                 "dmx " + from +
                                     " universe=1 universe-byte=0 start-code=85 type=4 channels=3 "
                                     "levels=1-30",
                                 "ignored " + from + " length=0", "poll " + from + " replies=1"}));
    std::filesystem::remove(path);
}

TEST(NodeEndpoint, WithNothingWaitingHandleOneReturnsAtOnce) {
    simnode::NodeEndpoint endpoint(OnLoopback(0));
    EXPECT_FALSE(endpoint.HandleOne());
}

TEST(NodeEndpoint, APortHeldWithoutAddressReuseCannotBeBound) {
    PeerSocket holder("127.0.0.1", 0, false);
    try {
        simnode::NodeEndpoint endpoint(OnLoopback(holder.Port()));
        FAIL() << "bound a port that another socket holds";
    } catch (const std::runtime_error& error) {
        const std::string expected =
            "cannot bind 127.0.0.1:" + std::to_string(holder.Port()) + ": ";
        EXPECT_EQ(std::string(error.what()).substr(0, expected.size()), expected) << error.what();
    }
}

}  // namespace
