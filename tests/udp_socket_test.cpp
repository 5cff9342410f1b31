// The one socket every program opens: which step fails, and what the tools then say.
#include <gtest/gtest.h>

#include <string>

#include "net/UdpSocket.h"
#include "testing/PeerSocket.h"

namespace {

struct FailureCase {
    const char* label;
    net::UdpSettings settings;
    bool onHeldPort;  // the port is one a peer holds without reuse, and stands between the texts
    net::UdpFailure failure;
    int error;  // the last socket error after the failure
    // The Linux wording, up to the step's colon and after it.
    std::string step;
    std::string reason;
};

net::UdpSettings Settings(const char* address, std::uint16_t port, const char* device = "",
                          bool reuse = true) {
    net::UdpSettings settings;
    settings.address = address;
    settings.port = port;
    settings.reuseAddress = reuse;
    settings.device = device;
    return settings;
}

#ifdef _WIN32
constexpr int kInUse = 10013;      // WSAEACCES: reuse asked for on a port held without it
constexpr int kNoAddress = 10049;  // WSAEADDRNOTAVAIL
constexpr int kNoDevice = 10049;   // an adapter without an index
#else
constexpr int kInUse = 98;      // EADDRINUSE
constexpr int kNoAddress = 99;  // EADDRNOTAVAIL
constexpr int kNoDevice = 19;   // ENODEV
#endif

const FailureCase kFailures[]{
    {"HeldPort", Settings("127.0.0.1", 0), true, net::UdpFailure::Bind, kInUse,
     "cannot bind 127.0.0.1:", ": Address already in use"},
    {"NoDottedDecimal", Settings("10.1.2", 3333), false, net::UdpFailure::Bind, kNoAddress,
     "cannot bind 10.1.2:3333", ": Cannot assign requested address"},
    {"NoSuchDevice", Settings("127.0.0.1", 0, "praveltest-no"), false, net::UdpFailure::Device,
     kNoDevice, "cannot tie a socket to praveltest-no", ": No such device"},
};

class UdpSocketFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(UdpSocketFailure, NamesTheStepAndKeepsTheSystemsReason) {
    testing_support::PeerSocket holder("127.0.0.1", 0, false);
    net::UdpSettings settings = GetParam().settings;
    std::string step = GetParam().step;
    if (GetParam().onHeldPort) {
        settings.port = holder.Port();
        step += std::to_string(holder.Port());
    }
    net::UdpSocket socket;
    EXPECT_EQ(socket.Open(settings), GetParam().failure);
    EXPECT_EQ(net::LastSocketError(), GetParam().error);
#ifndef _WIN32
    EXPECT_EQ(net::UdpFailureText(GetParam().failure, settings), step + GetParam().reason);
#endif
    // Made but not bound: still open, so that the window can report before it closes.
    EXPECT_TRUE(socket.IsOpen());
    try {
        net::OpenOrThrow(socket, settings);
        ADD_FAILURE() << "opened";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind(step + ": ", 0), 0u) << error.what();
    }
    EXPECT_FALSE(socket.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Steps, UdpSocketFailure, testing::ValuesIn(kFailures),
                         [](const testing::TestParamInfo<FailureCase>& info) {
                             return info.param.label;
                         });

}  // namespace
