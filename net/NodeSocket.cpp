#include "net/NodeSocket.h"

#include "net/SystemSockets.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef __linux__
#include <pthread.h>
#endif

namespace net {
namespace {

constexpr char kBindFailed[] = "Socket Create failed!";
constexpr char kSendFailed[] = "SendTo failed, lasterror = %X (%d)";
constexpr char kShortMessage[] = "Short message received and discarded!";
constexpr char kNeverSeen[] = "Received message we shouldn't see = '%s'";
constexpr char kUnexpected[] = "Received message we didn't expect = '%s'";
constexpr char kInvalidHeader[] = "Invalid message header received = '%s'";
constexpr char kNoHostAddress[] =
    "This host has no IPv4 address to broadcast from; no node can be reached.";

#ifdef _WIN32
constexpr int kNoAddressError = WSAEADDRNOTAVAIL;
#else
constexpr int kNoAddressError = EADDRNOTAVAIL;
#endif

}  // namespace

std::string CodeText(const std::uint8_t* bytes, std::size_t length) {
    const std::size_t limit = std::min<std::size_t>(length, protocol::kCodeLength);
    const std::uint8_t* end = std::find(bytes, bytes + limit, std::uint8_t{0});
    return std::string(bytes, end);
}

NodeSocket::NodeSocket(std::string& broadcastAddress, NodeSocketEnvironment environment)
    : m_broadcastAddress(broadcastAddress), m_environment(std::move(environment)) {}

NodeSocket::~NodeSocket() {
    Close();
}

void NodeSocket::Close() {
    if (m_reader.joinable()) {
        m_stopReader->Raise();
        m_reader.join();
    }
    m_stopReader.reset();
    // What was read but not yet dispatched goes with the socket.
    m_pending.Clear();
    if (m_handle == kInvalidSocket) return;
    CloseSocketHandle(m_handle);
    m_handle = kInvalidSocket;
}

void NodeSocket::Show(const std::string& text) const {
    if (m_environment.showMessage) m_environment.showMessage(text);
}

void NodeSocket::Open() {
    m_handle = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_handle == kInvalidSocket) return;
    MakeNonBlocking(m_handle);
    AllowBroadcastAndReuse(m_handle);
    if (m_environment.receiveBufferBytes > 0) {
        SetIntOption(m_handle, SO_RCVBUF, m_environment.receiveBufferBytes);
    }
    // A socket that cannot be tied to the chosen interface might reach another network's
    // lights, so it counts as one that cannot be bound.
    if (BindToDevice() && BindLocal()) {
        // Port 0 lets the system choose; sends then go to the port actually bound.
        if (const std::uint16_t bound = LocalPort(m_handle)) m_environment.port = bound;
        StartReader();
        return;
    }

    // Taken before the message box, whose event loop is free to change the last error.
    const int error = LastSocketError();
    Show(kBindFailed);
    if (m_environment.postQuit) m_environment.postQuit(0);
    Close();
    SetLastSocketError(error);
}

bool NodeSocket::BindToDevice() {
    if (m_environment.device.empty()) return true;
#ifdef _WIN32
    // IPv4 takes the adapter's index in network byte order. Index 0 would mean no tie, so an
    // adapter whose index is unknown fails here rather than send anywhere.
    const DWORD index = htonl(m_environment.deviceIndex);
    return m_environment.deviceIndex != 0 &&
           setsockopt(m_handle, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&index),
                      sizeof index) == 0;
#elif defined(SO_BINDTODEVICE)
    return setsockopt(m_handle, SOL_SOCKET, SO_BINDTODEVICE, m_environment.device.c_str(),
                      static_cast<SocketLength>(m_environment.device.size())) == 0;
#else
    return true;
#endif
}

bool NodeSocket::BindLocal() {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(m_environment.port);
    return bind(m_handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

void NodeSocket::ComputeBroadcastAddress() {
    const std::optional<Ipv4> host =
        m_environment.lookupHostAddress ? m_environment.lookupHostAddress() : std::nullopt;
    if (!host) {
        m_broadcastAddress.clear();
        Show(kNoHostAddress);
        return;
    }
    m_broadcastAddress = ClassCBroadcast(*host);
}

bool NodeSocket::SendDatagram(const std::uint8_t* bytes, std::size_t length) {
    int error = 0;
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(m_environment.port);
    if (inet_pton(AF_INET, m_broadcastAddress.c_str(), &destination.sin_addr) != 1) {
        error = kNoAddressError;
    } else if (m_handle == kInvalidSocket) {
#ifdef _WIN32
        error = WSAENOTSOCK;
#else
        error = EBADF;
#endif
    } else {
        const auto sent = sendto(
            m_handle, reinterpret_cast<const char*>(bytes), static_cast<SocketLength>(length), 0,
            reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
        if (sent >= 0) return true;
        error = LastSocketError();
    }
    char text[80];
    std::snprintf(text, sizeof text, kSendFailed, static_cast<unsigned>(error), error);
    Show(text);
    return false;
}

// Without a reader the tick's own read still keeps every datagram, only at a lower rate.
void NodeSocket::StartReader() {
    m_stopReader = std::make_unique<WakeSignal>();
    if (!m_stopReader->Valid()) return;
    m_reader = std::thread([this] { ReadAsTrafficArrives(); });
#ifdef __linux__
    // Named for top -H and the performance harness.
    pthread_setname_np(m_reader.native_handle(), "socket reader");
#endif
}

void NodeSocket::ReadAsTrafficArrives() {
    while (WaitReadable(m_handle, m_stopReader->Handle()) == WaitResult::First) {
        // No rest between reads: a console's burst of frames would fill the queue meanwhile.
        const std::lock_guard lock(m_lock);
        DrainSocket();
    }
}

void NodeSocket::ReceiveTick() {
    std::uint8_t buffer[kReceiveBufferLength];
    PendingDatagrams::Datagram datagram;
    {
        // What arrived since the reader last ran is the tick's too, so nothing sent before a
        // tick waits for the one after.
        const std::lock_guard lock(m_lock);
        DrainSocket();
        // Taken off the list before dispatch: a message box's nested loop runs further ticks.
        if (!m_pending.Pop(buffer, sizeof buffer, datagram)) return;
    }
    DispatchDatagram(datagram.bytes, datagram.length, datagram.senderAddress, datagram.senderPort);
}

std::uint64_t NodeSocket::DroppedDatagrams() const {
    const std::lock_guard lock(m_lock);
    return m_pending.Dropped();
}

std::size_t NodeSocket::WaitingDatagrams() const {
    const std::lock_guard lock(m_lock);
    return m_pending.Count();
}

std::size_t NodeSocket::PeakWaitingDatagrams() const {
    const std::lock_guard lock(m_lock);
    return m_pending.PeakCount();
}

// Polls and DMX data, the program's own and every console's, arrive far faster than one a
// tick; left in the socket, they would keep the replies behind them waiting for minutes.
void NodeSocket::DrainSocket() {
    static_assert(DatagramBatch::kCapacity == kReceiveBufferLength);
    DatagramBatch batch;
    std::size_t read = 0;
    while (read < kMaxReadsPerTick) {
        const std::size_t count = ReceiveBatch(m_handle, batch);
        for (std::size_t i = 0; i < count; ++i) {
            const DatagramBatch::Entry& entry = batch.entries[i];
            const std::uint8_t* bytes = batch.buffers[i].data();
            if (entry.oversized || entry.length == 0) continue;
            if (ClassifyDatagram(bytes, entry.length) == DatagramAction::Nothing) continue;
            m_pending.Push(bytes, entry.length, AddressText(entry.address), entry.port);
        }
        read += count;
        if (count < DatagramBatch::kCount) return;
    }
}

void NodeSocket::ShowFormatted(const char* format, const std::uint8_t* code) const {
    char text[64];
    std::snprintf(text, sizeof text, format, CodeText(code, protocol::kCodeLength).c_str());
    Show(text);
}

DatagramAction ClassifyDatagram(const std::uint8_t* bytes, std::size_t length) {
    if (length < protocol::kCodeLength) return DatagramAction::ShortReport;
    const std::span<const std::uint8_t> datagram(bytes, length);
    using namespace protocol;
    if (HasCode(datagram, kCodePoll) || HasCode(datagram, kCodeDmxData)) {
        return DatagramAction::Nothing;
    }
    if (HasCode(datagram, kCodePollReply)) return DatagramAction::PollReply;
    if (HasCode(datagram, kCodeNeverSeen) || HasCode(datagram, kCodeLegacyNeverSeen)) {
        return DatagramAction::NeverSeen;
    }
    if (HasCode(datagram, kCodeUnexpected)) return DatagramAction::Unexpected;
    return DatagramAction::InvalidHeader;
}

int NodeSocket::DispatchDatagram(const std::uint8_t* bytes, std::size_t length,
                                 const std::string& senderAddress, std::uint16_t senderPort) {
    switch (ClassifyDatagram(bytes, length)) {
        case DatagramAction::ShortReport:
            Show(kShortMessage);
            return 0;
        case DatagramAction::Nothing:
            return 1;
        case DatagramAction::PollReply:
            return m_pollReplyHandler ? m_pollReplyHandler(bytes, length, senderAddress, senderPort)
                                      : 1;
        case DatagramAction::NeverSeen:
            ShowFormatted(kNeverSeen, bytes);
            return 1;
        case DatagramAction::Unexpected:
            ShowFormatted(kUnexpected, bytes);
            return 1;
        case DatagramAction::InvalidHeader:
            break;
    }
    ShowFormatted(kInvalidHeader, bytes);
    return 0;
}

}  // namespace net
