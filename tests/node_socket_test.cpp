#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "net/NodeSocket.h"
#include "protocol/NodeProtocol.h"
#include "testing/PeerSocket.h"
#include "testing/Wait.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Bytes;
using testing_support::PeerSocket;
using ByteVector = std::vector<std::uint8_t>;
using Messages = std::vector<std::string>;

constexpr char kLoopback[] = "127.0.0.1";
constexpr char kLoopbackClassCBroadcast[] = "127.0.0.255";
constexpr char kShort[] = "Short message received and discarded!";
// The system's error numbers, as the send-failure message shows them.
#ifdef _WIN32
// A socket asking for address reuse on a port held without it is refused, not "in use".
constexpr int kBindRefused = 10013;  // WSAEACCES
constexpr char kSendOnClosed[] = "SendTo failed, lasterror = 2736 (10038)";
constexpr char kSendTooLong[] = "SendTo failed, lasterror = 2738 (10040)";
constexpr char kSendNoAddress[] = "SendTo failed, lasterror = 2741 (10049)";
#else
constexpr int kBindRefused = 98;  // EADDRINUSE
constexpr char kSendOnClosed[] = "SendTo failed, lasterror = 9 (9)";
constexpr char kSendTooLong[] = "SendTo failed, lasterror = 5A (90)";
constexpr char kSendNoAddress[] = "SendTo failed, lasterror = 63 (99)";
#endif

ByteVector Raw(std::string_view text) {
    return ByteVector(text.begin(), text.end());
}

// A poll reply whose bytes count up from a marker, so each one is told apart by content.
ByteVector Reply(std::size_t length, std::uint8_t marker) {
    ByteVector bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(marker + i);
    const ByteVector code = Raw("VXPR");
    std::copy(code.begin(), code.end(), bytes.begin());
    return bytes;
}

ByteVector DmxMessage(int channels, std::uint8_t level) {
    protocol::DmxBuffer buffer;
    protocol::DmxDataFields fields;
    fields.channelCount = channels;
    fields.level = level;
    const std::size_t length = protocol::BuildDmxData(fields, buffer);
    return ByteVector(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
}

ByteVector PollMessage() {
    return ByteVector(protocol::kPollMessage.begin(), protocol::kPollMessage.end());
}

struct ReplyCall {
    ByteVector bytes;
    std::string senderAddress;
    std::uint16_t senderPort = 0;
};

class NodeSocketTest : public testing::Test {
protected:
    // Loopback queues each datagram on the sending processor and delivers each queue in
    // order; pinned to one processor, a sentinel that has reached the witness proves that
    // everything sent before it has reached its socket, however late delivery runs.
#ifdef _WIN32
    void SetUp() override {
        m_affinity = SetThreadAffinityMask(GetCurrentThread(), 1);
        ASSERT_NE(m_affinity, 0u);
    }
    void TearDown() override {
        SetThreadAffinityMask(GetCurrentThread(), m_affinity);
    }
#else
    void SetUp() override {
        ASSERT_EQ(sched_getaffinity(0, sizeof m_affinity, &m_affinity), 0);
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    }
    void TearDown() override {
        sched_setaffinity(0, sizeof m_affinity, &m_affinity);
    }
#endif

    void LetArrive() {
        ASSERT_TRUE(m_peer.SendTo(kLoopback, m_witness.Port(), Raw("sentinel")));
        const auto sentinel = m_witness.Receive(10s);
        ASSERT_TRUE(sentinel.has_value());
        ASSERT_EQ(sentinel->bytes, Raw("sentinel"));
    }

    net::NodeSocketEnvironment Environment() {
        net::NodeSocketEnvironment environment;
        environment.port = m_port;
        environment.lookupHostAddress = [this] { return m_host; };
        environment.showMessage = [this](const std::string& text) { m_messages.push_back(text); };
        environment.postQuit = [this](int code) { m_quitCodes.push_back(code); };
        return environment;
    }

    std::unique_ptr<net::NodeSocket> MakeEndpoint(std::string& broadcast) {
        auto endpoint = std::make_unique<net::NodeSocket>(broadcast, Environment());
        endpoint->SetPollReplyHandler([this](const std::uint8_t* bytes, std::size_t length,
                                             const std::string& address, std::uint16_t port) {
            m_replies.push_back({ByteVector(bytes, bytes + length), address, port});
            return m_replyResult;
        });
        return endpoint;
    }

    // Opened on a port the system chooses, broadcasting to 127.0.0.255.
    void OpenEndpoint() {
        m_endpoint = MakeEndpoint(m_broadcast);
        m_endpoint->Open();
        ASSERT_TRUE(m_endpoint->IsOpen());
        m_port = m_endpoint->Port();
        ASSERT_NE(m_port, 0);
        m_endpoint->ComputeBroadcastAddress();
        ASSERT_EQ(m_broadcast, kLoopbackClassCBroadcast);
        ASSERT_TRUE(m_messages.empty());
        ASSERT_TRUE(m_quitCodes.empty());
    }

    bool Send(const ByteVector& bytes) {
        return m_endpoint->SendDatagram(bytes.data(), bytes.size());
    }

    void PeerSends(const ByteVector& bytes) {
        ASSERT_TRUE(m_peer.SendTo(kLoopback, m_port, bytes));
    }

#ifdef _WIN32
    DWORD_PTR m_affinity = 0;
#else
    cpu_set_t m_affinity{};
#endif
    std::uint16_t m_port = 0;  // the system's choice until an endpoint or holder has one
    std::optional<net::Ipv4> m_host = net::Ipv4{127, 0, 0, 1};
    std::string m_broadcast;
    Messages m_messages;
    std::vector<int> m_quitCodes;
    std::vector<ReplyCall> m_replies;
    int m_replyResult = 1;
    std::unique_ptr<net::NodeSocket> m_endpoint;
    PeerSocket m_peer{kLoopback, 0};
    PeerSocket m_witness{kLoopback, 0};
};

// ---- Open --------------------------------------------------------------------------------

TEST_F(NodeSocketTest, OpenListensOnThePortItReports) {
    OpenEndpoint();
    PeerSends(Reply(40, 1));
    LetArrive();
    m_endpoint->ReceiveTick();
    ASSERT_EQ(m_replies.size(), 1u);
    EXPECT_EQ(m_replies[0].bytes, Reply(40, 1));
}

TEST_F(NodeSocketTest, OpenSharesThePortWithAnotherEndpoint) {
    OpenEndpoint();
    std::string otherBroadcast;
    auto other = MakeEndpoint(otherBroadcast);
    other->Open();
    EXPECT_TRUE(other->IsOpen());
    EXPECT_EQ(other->Port(), m_port) << "a port given is the port bound";
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_quitCodes.empty());
}

// 127.255.255.255 is loopback's own broadcast address: the kernel refuses it without
// SO_BROADCAST, and the datagram never leaves the machine.
TEST_F(NodeSocketTest, OpenAllowsBroadcastSends) {
    m_host = net::Ipv4{127, 255, 255, 1};
    m_endpoint = MakeEndpoint(m_broadcast);
    m_endpoint->Open();
    ASSERT_TRUE(m_endpoint->IsOpen());
    m_endpoint->ComputeBroadcastAddress();
    ASSERT_EQ(m_broadcast, "127.255.255.255");
    m_port = m_endpoint->Port();
    PeerSocket listener("127.255.255.255", m_port, true);

    EXPECT_TRUE(Send(PollMessage()));
    EXPECT_TRUE(m_messages.empty());
    const auto received = listener.Receive(10s);
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(received->bytes, PollMessage());
    EXPECT_EQ(received->senderPort, m_port);
}

TEST_F(NodeSocketTest, OpenFailsWhenThePortIsHeldWithoutReuse) {
    PeerSocket holder(kLoopback, 0, false);
    m_port = holder.Port();
    // A real message box runs an event loop that is free to change the last error.
    net::NodeSocketEnvironment clobbering = Environment();
    clobbering.showMessage = [this](const std::string& text) {
        m_messages.push_back(text);
        net::SetLastSocketError(2);
    };
    m_endpoint = std::make_unique<net::NodeSocket>(m_broadcast, clobbering);

    m_endpoint->Open();
    EXPECT_FALSE(m_endpoint->IsOpen());
    EXPECT_EQ(m_messages, Messages{"Socket Create failed!"});
    EXPECT_EQ(m_quitCodes, std::vector<int>{0});
    EXPECT_EQ(net::LastSocketError(), kBindRefused) << "the bind error is what the caller sees";

    m_messages.clear();
    m_endpoint->ComputeBroadcastAddress();
    EXPECT_EQ(m_broadcast, kLoopbackClassCBroadcast);
    EXPECT_FALSE(Send(PollMessage()));
    EXPECT_EQ(m_messages, Messages{kSendOnClosed});
}

TEST_F(NodeSocketTest, FailedOpenReportsOnceWithoutQuitHandler) {
    PeerSocket holder(kLoopback, 0, false);
    m_port = holder.Port();
    auto environment = Environment();
    environment.postQuit = nullptr;
    m_endpoint = std::make_unique<net::NodeSocket>(m_broadcast, environment);
    m_endpoint->Open();
    EXPECT_FALSE(m_endpoint->IsOpen());
    EXPECT_EQ(m_messages, Messages{"Socket Create failed!"});
}

// ---- ComputeBroadcastAddress -------------------------------------------------------------

struct BroadcastCase {
    net::Ipv4 host;
    const char* expected;
};
// Without a printer GoogleTest dumps the raw bytes, padding included.
void PrintTo(const BroadcastCase& c, std::ostream* os) {
    *os << c.expected;
}

class ComputeBroadcastAddress : public NodeSocketTest,
                                public testing::WithParamInterface<BroadcastCase> {};

// Only the text is checked: nothing may be sent to an address off loopback.
TEST_P(ComputeBroadcastAddress, IsTheHostsClassCBroadcast) {
    m_host = GetParam().host;
    m_broadcast = "stale";
    net::NodeSocket endpoint(m_broadcast, Environment());
    endpoint.ComputeBroadcastAddress();
    EXPECT_EQ(m_broadcast, GetParam().expected);
    EXPECT_TRUE(m_messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Hosts, ComputeBroadcastAddress,
                         testing::Values(BroadcastCase{{10, 1, 2, 3}, "10.1.2.255"},
                                         BroadcastCase{{127, 0, 0, 1}, "127.0.0.255"},
                                         BroadcastCase{{192, 168, 0, 77}, "192.168.0.255"},
                                         BroadcastCase{{172, 16, 254, 255}, "172.16.254.255"},
                                         BroadcastCase{{0, 0, 0, 0}, "0.0.0.255"}));

TEST_F(NodeSocketTest, NoHostAddressClearsTheBroadcastAndSendsFail) {
    m_host.reset();
    m_broadcast = "10.1.2.255";
    m_endpoint = MakeEndpoint(m_broadcast);
    m_endpoint->Open();
    ASSERT_TRUE(m_endpoint->IsOpen());
    m_endpoint->ComputeBroadcastAddress();
    EXPECT_EQ(m_broadcast, "");
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_FALSE(m_messages[0].empty());

    m_messages.clear();
    EXPECT_FALSE(Send(PollMessage()));
    EXPECT_EQ(m_messages, Messages{kSendNoAddress});
}

TEST_F(NodeSocketTest, MissingLookupCountsAsNoHostAddress) {
    auto environment = Environment();
    environment.lookupHostAddress = nullptr;
    m_broadcast = "10.1.2.255";
    net::NodeSocket endpoint(m_broadcast, environment);
    endpoint.ComputeBroadcastAddress();
    EXPECT_EQ(m_broadcast, "");
    EXPECT_EQ(m_messages.size(), 1u);
}

// ---- SendDatagram ------------------------------------------------------------------------

TEST_F(NodeSocketTest, SendDatagramPutsTheExactBytesOnTheBroadcastAddress) {
    OpenEndpoint();
    PeerSocket node(kLoopbackClassCBroadcast, m_port, true);

    for (const ByteVector& message : {PollMessage(), DmxMessage(512, 0xFF), DmxMessage(1, 0x00)}) {
        ASSERT_TRUE(Send(message));
        const auto received = node.Receive(10s);
        ASSERT_TRUE(received.has_value());
        EXPECT_EQ(received->bytes, message);
        EXPECT_EQ(received->senderAddress, kLoopback);
        EXPECT_EQ(received->senderPort, m_port) << "nodes answer to the port they heard from";
    }
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(NodeSocketTest, SendDatagramOnAnUnopenedEndpointReportsBadHandle) {
    m_endpoint = MakeEndpoint(m_broadcast);
    m_endpoint->ComputeBroadcastAddress();
    EXPECT_FALSE(Send(PollMessage()));
    EXPECT_EQ(m_messages, Messages{kSendOnClosed});
}

TEST_F(NodeSocketTest, SendDatagramReportsTheKernelsError) {
    OpenEndpoint();
    // One byte over the largest UDP payload: the send itself fails with "message too long".
    const ByteVector tooLarge(65508, 0x11);
    EXPECT_FALSE(Send(tooLarge));
    EXPECT_EQ(m_messages, Messages{kSendTooLong});
}

// ---- ReceiveTick -------------------------------------------------------------------------

TEST_F(NodeSocketTest, ReceiveTickDispatchesOneDatagramPerCall) {
    OpenEndpoint();
    PeerSends(Reply(33, 0x10));
    PeerSends(Reply(34, 0x20));
    PeerSends(Reply(35, 0x30));
    LetArrive();

    for (std::size_t tick = 1; tick <= 3; ++tick) {
        m_endpoint->ReceiveTick();
        ASSERT_EQ(m_replies.size(), tick);
    }
    EXPECT_EQ(m_replies[0].bytes, Reply(33, 0x10));
    EXPECT_EQ(m_replies[1].bytes, Reply(34, 0x20));
    EXPECT_EQ(m_replies[2].bytes, Reply(35, 0x30));
    for (const ReplyCall& call : m_replies) {
        EXPECT_EQ(call.senderAddress, kLoopback);
        EXPECT_EQ(call.senderPort, m_peer.Port());
    }
    m_endpoint->ReceiveTick();
    EXPECT_EQ(m_replies.size(), 3u);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(NodeSocketTest, ReceiveTickWithNothingWaitingDoesNothing) {
    OpenEndpoint();
    m_endpoint->ReceiveTick();
    m_endpoint->ReceiveTick();
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_replies.empty());
}

// Every datagram of interest, with what dispatching it returns and shows.
struct DatagramCase {
    const char* label;
    ByteVector datagram;
    int expectedResult;
    Messages expected;
};
void PrintTo(const DatagramCase& c, std::ostream* os) {
    *os << c.label;
}

const DatagramCase kDatagramCases[] = {
    {"Empty", {}, 0, {kShort}},
    {"OneByte", Raw("V"), 0, {kShort}},
    {"TwoBytes", Raw("VX"), 0, {kShort}},
    {"ThreeBytes", Raw("VXP"), 0, {kShort}},
    {"NeverSeen", Raw("VXZZ\x01\x02"), 1, {"Received message we shouldn't see = 'VXZZ'"}},
    {"NeverSeenCodeOnly", Raw("VXZZ"), 1, {"Received message we shouldn't see = 'VXZZ'"}},
    {"SwappedPrefix", Raw("XVCN...."), 1, {"Received message we shouldn't see = 'XVCN'"}},
    {"Unexpected", Raw("VXAP\x7F\x01"), 1, {"Received message we didn't expect = 'VXAP'"}},
    {"InvalidHeader", Raw("ABCDEFGH"), 0, {"Invalid message header received = 'ABCD'"}},
    {"ZeroInCode",
     Raw(std::string_view("AB\0D", 4)),
     0,
     {"Invalid message header received = 'AB'"}},
    {"ZeroFirst", Raw(std::string_view("\0XPR", 4)), 0, {"Invalid message header received = ''"}},
    {"LowerCase", Raw("vxpr"), 0, {"Invalid message header received = 'vxpr'"}},
    {"HighBytes", Raw("\xFF\x80XY"), 0, {"Invalid message header received = '\xFF\x80XY'"}},
    {"Poll", PollMessage(), 1, {}},
    {"DmxData", DmxMessage(512, 0x42), 1, {}},
    {"DmxDataHeaderOnly", Raw("VXDD"), 1, {}},
};

std::string CaseName(const testing::TestParamInfo<DatagramCase>& info) {
    return info.param.label;
}

class DatagramTest : public NodeSocketTest, public testing::WithParamInterface<DatagramCase> {};

TEST_P(DatagramTest, DispatchReturnsAndShows) {
    m_endpoint = MakeEndpoint(m_broadcast);
    const ByteVector& datagram = GetParam().datagram;
    EXPECT_EQ(m_endpoint->DispatchDatagram(datagram.data(), datagram.size(), "192.0.2.9", 4321),
              GetParam().expectedResult);
    EXPECT_EQ(m_messages, GetParam().expected);
    EXPECT_TRUE(m_replies.empty());
}

// A poll reply follows each datagram. One that shows something takes its own tick, and the
// reply the next; one that shows nothing is dropped and the reply is dispatched at once.
TEST_P(DatagramTest, ReceiveTickShowsOneAndNeverWaitsOnSilentOnes) {
    OpenEndpoint();
    PeerSends(GetParam().datagram);
    PeerSends(Reply(33, 0x99));
    LetArrive();
    // A read of 0 bytes is no datagram to dispatch.
    const Messages expected = GetParam().datagram.empty() ? Messages{} : GetParam().expected;

    m_endpoint->ReceiveTick();
    EXPECT_EQ(m_messages, expected);
    EXPECT_EQ(m_replies.size(), expected.empty() ? 1u : 0u);

    m_endpoint->ReceiveTick();
    ASSERT_EQ(m_replies.size(), 1u);
    EXPECT_EQ(m_replies[0].bytes, Reply(33, 0x99));
    EXPECT_EQ(m_messages, expected);
}

INSTANTIATE_TEST_SUITE_P(Datagrams, DatagramTest, testing::ValuesIn(kDatagramCases), CaseName);

// A console's DMX data and the program's own broadcasts, in any number, never hold a reply
// back; what acts keeps its order and still comes one a tick.
TEST_F(NodeSocketTest, ReceiveTickDrainsTheSocketAndDispatchesOneInArrivalOrder) {
    OpenEndpoint();
    for (int i = 0; i < 60; ++i) PeerSends(DmxMessage(512, static_cast<std::uint8_t>(i)));
    PeerSends(Reply(33, 0x10));
    for (int i = 0; i < 20; ++i) PeerSends(PollMessage());
    PeerSends(Raw("VXZZ"));
    PeerSends(Reply(601, 0x00));
    PeerSends(Reply(34, 0x20));
    LetArrive();

    m_endpoint->ReceiveTick();
    ASSERT_EQ(m_replies.size(), 1u);
    EXPECT_EQ(m_replies[0].bytes, Reply(33, 0x10));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_endpoint->WaitingDatagrams(), 2u) << "the socket itself was emptied";

    m_endpoint->ReceiveTick();
    EXPECT_EQ(m_messages, Messages{"Received message we shouldn't see = 'VXZZ'"});
    EXPECT_EQ(m_replies.size(), 1u);
    m_endpoint->ReceiveTick();
    ASSERT_EQ(m_replies.size(), 2u);
    EXPECT_EQ(m_replies[1].bytes, Reply(34, 0x20));
    m_endpoint->ReceiveTick();
    EXPECT_EQ(m_replies.size(), 2u);
    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_endpoint->DroppedDatagrams(), 0u);
}

// Between ticks the kernel's queue would overflow under a console's flood, so what arrives is
// read at once: no tick runs here while the reply is awaited.
TEST_F(NodeSocketTest, WhatArrivesIsReadWithoutWaitingForATick) {
    OpenEndpoint();
    PeerSends(DmxMessage(512, 1));
    PeerSends(Reply(33, 0x10));
    testing_support::WaitUntil(10s, [&] { return m_endpoint->WaitingDatagrams() != 0; });
    ASSERT_EQ(m_endpoint->WaitingDatagrams(), 1u);
    m_endpoint->ReceiveTick();
    ASSERT_EQ(m_replies.size(), 1u);
    EXPECT_EQ(m_replies[0].bytes, Reply(33, 0x10));
}

// Closing stops the reader in the middle of a flood, whatever it is doing; the sanitizer build
// sees any use of the endpoint after it is gone.
TEST_F(NodeSocketTest, ClosingStopsTheReaderMidFlood) {
    OpenEndpoint();
    std::atomic<bool> flooding = true;
    // Every round opens on the same port again.
    std::thread console([&flooding, port = m_port] {
        PeerSocket sender(kLoopback, 0);
        while (flooding) {
            sender.SendTo(kLoopback, port, DmxMessage(512, 7));
            sender.SendTo(kLoopback, port, Reply(33, 0x10));
        }
    });
    for (int round = 0; round < 20; ++round) {
        const auto limit = std::chrono::steady_clock::now() + 10s;
        while (m_endpoint->PeakWaitingDatagrams() == 0 &&
               std::chrono::steady_clock::now() < limit) {
            std::this_thread::yield();
        }
        EXPECT_GT(m_endpoint->PeakWaitingDatagrams(), 0u) << "round " << round;
        m_endpoint->Close();
        EXPECT_EQ(m_endpoint->WaitingDatagrams(), 0u);
        m_endpoint->ReceiveTick();
        m_endpoint.reset();
        OpenEndpoint();
    }
    flooding = false;
    console.join();
    EXPECT_TRUE(m_replies.empty());
}

TEST_F(NodeSocketTest, OwnPollAndDmxDataComeBackSilently) {
    OpenEndpoint();
    // Nothing else listens on 127.0.0.255, so the endpoint hears itself as it would on a LAN.
    ASSERT_TRUE(Send(PollMessage()));
    ASSERT_TRUE(Send(DmxMessage(512, 0xFF)));
    PeerSends(Raw("VXZZ"));
    LetArrive();

    m_endpoint->ReceiveTick();
    EXPECT_EQ(m_messages, Messages{"Received message we shouldn't see = 'VXZZ'"});
    m_endpoint->ReceiveTick();
    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_replies.empty());
}

// The monitor's feed: every DMX datagram, on the reader's thread, its own told apart by sender
// and content; nothing once the tap is gone.
TEST_F(NodeSocketTest, DmxTapHearsEveryFrameAndKnowsItsOwn) {
    OpenEndpoint();
    struct Tapped {
        ByteVector bytes;
        std::uint16_t port;
        bool own;
    };
    std::mutex lock;
    std::vector<Tapped> tapped;
    m_endpoint->SetDmxTap(
        [&](std::span<const std::uint8_t> datagram, std::uint32_t, std::uint16_t port, bool own) {
            const std::lock_guard guard(lock);
            tapped.push_back({ByteVector(datagram.begin(), datagram.end()), port, own});
        });
    ASSERT_TRUE(Send(DmxMessage(3, 0xFF)));
    PeerSends(DmxMessage(3, 0xFF));  // the same bytes from another port are a console's
    PeerSends(DmxMessage(2, 0x10));
    PeerSends(PollMessage());
    LetArrive();
    m_endpoint->ReceiveTick();
    {
        const std::lock_guard guard(lock);
        ASSERT_EQ(tapped.size(), 3u);
        EXPECT_EQ(tapped[0].bytes, DmxMessage(3, 0xFF));
        EXPECT_EQ(tapped[0].port, m_port);
        EXPECT_TRUE(tapped[0].own);
        EXPECT_EQ(tapped[1].bytes, DmxMessage(3, 0xFF));
        EXPECT_FALSE(tapped[1].own);
        EXPECT_EQ(tapped[2].bytes, DmxMessage(2, 0x10));
        EXPECT_FALSE(tapped[2].own);
    }
    m_endpoint->SetDmxTap({});
    PeerSends(DmxMessage(1, 0x01));
    LetArrive();
    m_endpoint->ReceiveTick();
    const std::lock_guard guard(lock);
    EXPECT_EQ(tapped.size(), 3u);
}

// What the Network window says about the wire: counted from the endpoint's latest poll, its
// own poll told from another's by sender.
TEST_F(NodeSocketTest, HeardTrafficCountsSinceTheOwnPollAndKnowsItCameBack) {
    OpenEndpoint();
    EXPECT_FALSE(m_endpoint->HeardTraffic().pollSent);
    PeerSends(PollMessage());
    LetArrive();
    m_endpoint->ReceiveTick();
    EXPECT_FALSE(m_endpoint->HeardTraffic().ownPollCameBack) << "another program's poll";

    ASSERT_TRUE(Send(PollMessage()));
    PeerSends(DmxMessage(2, 0x10));
    PeerSends(Reply(40, 1));
    PeerSends(Raw("VXZZ"));
    LetArrive();
    m_endpoint->ReceiveTick();
    const net::Traffic traffic = m_endpoint->HeardTraffic();
    EXPECT_TRUE(traffic.pollSent);
    EXPECT_TRUE(traffic.ownPollCameBack);
    const auto heard = [&traffic](protocol::DatagramKind kind) {
        return traffic.heardSincePoll[static_cast<std::size_t>(kind)];
    };
    EXPECT_EQ(heard(protocol::DatagramKind::Poll), 1);
    EXPECT_EQ(heard(protocol::DatagramKind::DmxData), 1);
    EXPECT_EQ(heard(protocol::DatagramKind::PollReply), 1);
    EXPECT_EQ(heard(protocol::DatagramKind::NeverSeen), 1);
    EXPECT_TRUE(traffic.lastReply);
    EXPECT_EQ(traffic.lastReplyFrom, kLoopback);
}

// Following the network binds again on the same port: what waited is still dispatched, and a
// tie that fails closes the endpoint quietly, with the reason kept for the Network window.
TEST_F(NodeSocketTest, RetieKeepsWhatWaitsAndKeepsAFailuresReason) {
    OpenEndpoint();
    PeerSends(Reply(40, 7));
    LetArrive();
    ASSERT_TRUE(m_endpoint->Retie("", 0));
    EXPECT_EQ(m_endpoint->Port(), m_port);
    m_endpoint->ReceiveTick();
    ASSERT_EQ(m_replies.size(), 1u);
    EXPECT_EQ(m_replies[0].bytes, Reply(40, 7));
    PeerSends(Reply(40, 8));
    LetArrive();
    m_endpoint->ReceiveTick();
    EXPECT_EQ(m_replies.size(), 2u) << "the new socket hears the port";
#ifndef _WIN32
    EXPECT_FALSE(m_endpoint->Retie("nosuch0", 0));
    EXPECT_FALSE(m_endpoint->IsOpen());
    EXPECT_EQ(m_endpoint->OpenFailure().rfind("cannot tie a socket to nosuch0", 0), 0u)
        << m_endpoint->OpenFailure();
#endif
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_quitCodes.empty());
}

class ReceiveTickOversized : public NodeSocketTest,
                             public testing::WithParamInterface<std::size_t> {};

TEST_P(ReceiveTickOversized, IsDroppedWhole) {
    OpenEndpoint();
    PeerSends(Reply(GetParam(), 0x00));
    PeerSends(Raw("VXZZ"));
    LetArrive();

    m_endpoint->ReceiveTick();
    EXPECT_TRUE(m_replies.empty()) << "a cut-short copy must not be dispatched";
    EXPECT_EQ(m_messages, Messages{"Received message we shouldn't see = 'VXZZ'"});
    m_endpoint->ReceiveTick();
    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_replies.empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReceiveTickOversized,
                         testing::Values(std::size_t{601}, std::size_t{1024}, std::size_t{65000}));

TEST_F(NodeSocketTest, ReceiveTickDispatchesSixHundredBytesWhole) {
    OpenEndpoint();
    const ByteVector largest = Reply(net::kReceiveBufferLength, 0x07);
    ASSERT_EQ(largest.size(), 600u);
    PeerSends(largest);
    LetArrive();

    m_endpoint->ReceiveTick();
    ASSERT_EQ(m_replies.size(), 1u);
    EXPECT_EQ(m_replies[0].bytes.size(), 600u);
    EXPECT_EQ(m_replies[0].bytes, largest);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(NodeSocketTest, ClosedEndpointTicksQuietly) {
    OpenEndpoint();
    PeerSends(Raw("VXZZ"));
    PeerSends(Reply(33, 1));
    LetArrive();
    m_endpoint->Close();
    EXPECT_FALSE(m_endpoint->IsOpen());
    m_endpoint->ReceiveTick();
    m_endpoint->ReceiveTick();
    m_endpoint->Close();
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_replies.empty());
}

TEST_F(NodeSocketTest, NeverOpenedEndpointTicksQuietly) {
    m_endpoint = MakeEndpoint(m_broadcast);
    m_endpoint->ReceiveTick();
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_replies.empty());
}

TEST_F(NodeSocketTest, EndpointWhoseOpenFailedTicksQuietly) {
    PeerSocket holder(kLoopback, 0, false);
    m_port = holder.Port();
    m_endpoint = MakeEndpoint(m_broadcast);
    m_endpoint->Open();
    ASSERT_FALSE(m_endpoint->IsOpen());
    m_messages.clear();
    PeerSends(Raw("VXZZ"));
    LetArrive();
    m_endpoint->ReceiveTick();
    EXPECT_TRUE(m_messages.empty());
}

// ---- DispatchDatagram --------------------------------------------------------------------

TEST_F(NodeSocketTest, DispatchPassesPollRepliesToTheHandler) {
    m_endpoint = MakeEndpoint(m_broadcast);
    const ByteVector reply = Reply(33, 0x50);
    for (const int result : {0, 1, 7, -3}) {
        m_replies.clear();
        m_replyResult = result;
        EXPECT_EQ(m_endpoint->DispatchDatagram(reply.data(), reply.size(), "192.0.2.9", 4321),
                  result);
        ASSERT_EQ(m_replies.size(), 1u);
        EXPECT_EQ(m_replies[0].bytes, reply);
        EXPECT_EQ(m_replies[0].senderAddress, "192.0.2.9");
        EXPECT_EQ(m_replies[0].senderPort, 4321);
    }
    const ByteVector codeOnly = Raw("VXPR");
    m_replyResult = 5;
    EXPECT_EQ(m_endpoint->DispatchDatagram(codeOnly.data(), codeOnly.size(), "10.0.0.1", 1), 5);
    EXPECT_EQ(m_replies.back().bytes, codeOnly) << "length is the handler's to judge";
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(NodeSocketTest, DispatchWithoutHandlerCountsPollRepliesAsHandled) {
    net::NodeSocket endpoint(m_broadcast, Environment());
    const ByteVector reply = Reply(33, 0x50);
    EXPECT_EQ(endpoint.DispatchDatagram(reply.data(), reply.size(), "192.0.2.9", 4321), 1);
    EXPECT_TRUE(m_messages.empty());
}

// ---- CodeText ----------------------------------------------------------------------------

struct CodeTextCase {
    std::string_view bytes;
    std::size_t length;
    std::string expected;
};
void PrintTo(const CodeTextCase& c, std::ostream* os) {
    *os << c.expected;
}

class CodeText : public testing::TestWithParam<CodeTextCase> {};

TEST_P(CodeText, IsAtMostFourBytesUpToAZero) {
    const ByteVector bytes = Raw(GetParam().bytes);
    EXPECT_EQ(net::CodeText(bytes.data(), GetParam().length), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Codes, CodeText,
                         testing::Values(CodeTextCase{"VXPR", 4, "VXPR"},
                                         CodeTextCase{"VXPRextra", 9, "VXPR"},
                                         CodeTextCase{"VXPR", 2, "VX"}, CodeTextCase{"VXPR", 0, ""},
                                         CodeTextCase{{"AB\0D", 4}, 4, "AB"},
                                         CodeTextCase{{"\0BCD", 4}, 4, ""},
                                         CodeTextCase{"\xFF\x80\x7F\x01", 4, "\xFF\x80\x7F\x01"}));

}  // namespace
