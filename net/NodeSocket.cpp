#include "net/NodeSocket.h"

#include <algorithm>
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
    m_socket.Close();
}

void NodeSocket::Show(const std::string& text) const {
    if (m_environment.showMessage) m_environment.showMessage(text);
}

UdpSettings NodeSocket::Settings() const {
    UdpSettings settings;
    settings.port = m_environment.port;
    settings.broadcast = true;
    settings.reuseAddress = true;
    settings.receiveQueueBytes = m_environment.receiveBufferBytes;
    settings.device = m_environment.device;
    settings.deviceIndex = m_environment.deviceIndex;
    return settings;
}

void NodeSocket::Open() {
    const UdpSettings settings = Settings();
    const UdpFailure failure = m_socket.Open(settings);
    m_openFailure = failure == UdpFailure::None ? "" : UdpFailureText(failure, settings);
    switch (failure) {
        case UdpFailure::None:
            // Port 0 lets the system choose; sends then go to the port actually bound.
            if (const std::uint16_t bound = m_socket.Port()) m_environment.port = bound;
            StartReader();
            return;
        case UdpFailure::Create:
            return;
        case UdpFailure::Device:
        case UdpFailure::Bind:
            break;
    }
    // Taken before the message box, whose event loop is free to change the last error.
    const int error = LastSocketError();
    Show(kBindFailed);
    if (m_environment.postQuit) m_environment.postQuit(0);
    Close();
    SetLastSocketError(error);
}

bool NodeSocket::Retie(const std::string& device, unsigned deviceIndex) {
    if (m_reader.joinable()) {
        m_stopReader->Raise();
        m_reader.join();
    }
    m_stopReader.reset();
    {
        // What the old socket holds is read first: a reply waiting there is not lost.
        const std::lock_guard lock(m_lock);
        if (m_socket.IsOpen()) DrainSocket();
    }
    m_socket.Close();
    m_environment.device = device;
    m_environment.deviceIndex = deviceIndex;
    const UdpSettings settings = Settings();
    const UdpFailure failure = m_socket.Open(settings);
    if (failure != UdpFailure::None) {
        m_openFailure = UdpFailureText(failure, settings);
        m_socket.Close();
        return false;
    }
    m_openFailure.clear();
    StartReader();
    return true;
}

bool NodeSocket::UseHostAddress(const std::optional<Ipv4>& address) {
    if (!address) return false;
    const std::string before = m_broadcastAddress;
    m_broadcastAddress = ClassCBroadcast(*address);
    const std::lock_guard lock(m_lock);
    std::memcpy(&m_hostAddress, address->data(), sizeof m_hostAddress);
    return m_broadcastAddress != before;
}

void NodeSocket::ForgetWaiting() {
    const std::lock_guard lock(m_lock);
    DrainSocket();
    m_pending.Clear();
}

std::string NodeSocket::OpenFailure() const {
    return m_openFailure;
}

Traffic NodeSocket::HeardTraffic() const {
    const std::lock_guard lock(m_lock);
    return m_traffic;
}

void NodeSocket::CountHeard(protocol::DatagramKind kind, std::uint32_t address,
                            std::uint16_t port) {
    ++m_traffic.heardSincePoll[static_cast<std::size_t>(kind)];
    if (kind == protocol::DatagramKind::Poll && address == m_hostAddress &&
        port == m_environment.port) {
        m_traffic.ownPollCameBack = true;
    }
    if (kind == protocol::DatagramKind::PollReply) {
        m_traffic.lastReply = Traffic::Clock::now();
        m_traffic.lastReplyFrom = AddressText(address);
    }
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
    const std::lock_guard lock(m_lock);
    std::memcpy(&m_hostAddress, host->data(), sizeof m_hostAddress);
}

void NodeSocket::SetDmxTap(DmxTap tap) {
    const std::lock_guard lock(m_lock);
    m_tapping = static_cast<bool>(tap);
    m_dmxTap = std::move(tap);
}

namespace {

// FNV-1a: cheap, and a match against a console's frame by chance is no worse than a wrong mark.
std::uint64_t HashOf(std::span<const std::uint8_t> bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::uint8_t byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

}  // namespace

void NodeSocket::RememberSent(std::span<const std::uint8_t> datagram) {
    const std::lock_guard lock(m_lock);
    m_sentHashes[m_nextSent] = HashOf(datagram);
    m_nextSent = (m_nextSent + 1) % m_sentHashes.size();
}

bool NodeSocket::WasSentHere(std::span<const std::uint8_t> datagram, std::uint32_t address,
                             std::uint16_t port) const {
    if (address != m_hostAddress || port != m_environment.port) return false;
    const std::uint64_t hash = HashOf(datagram);
    return std::find(m_sentHashes.begin(), m_sentHashes.end(), hash) != m_sentHashes.end();
}

bool NodeSocket::SendDatagram(const std::uint8_t* bytes, std::size_t length) {
    if (protocol::HasCode({bytes, length}, protocol::kCodePoll)) {
        // Counted from just before the send: the own poll can be back before it returns.
        const std::lock_guard lock(m_lock);
        m_traffic.heardSincePoll = {};
        m_traffic.ownPollCameBack = false;
        m_traffic.pollSent = Traffic::Clock::now();
    }
    if (m_tapping && protocol::HasCode({bytes, length}, protocol::kCodeDmxData)) {
        RememberSent({bytes, length});
    }
    if (m_socket.SendTo(m_broadcastAddress, m_environment.port, {bytes, length})) return true;
    const int error = LastSocketError();
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
    while (WaitReadable(m_socket.Handle(), m_stopReader->Handle()) == WaitResult::First) {
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
    Dispatch(datagram.kind, datagram.bytes, datagram.length, datagram.senderAddress,
             datagram.senderPort);
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
    DatagramBatch batch;
    std::size_t read = 0;
    while (read < kMaxReadsPerTick) {
        const std::size_t count = m_socket.Receive(batch);
        for (std::size_t i = 0; i < count; ++i) {
            const DatagramBatch::Entry& entry = batch.entries[i];
            const std::uint8_t* bytes = batch.buffers[i].data();
            if (entry.oversized || entry.length == 0) {
                CountHeard(entry.oversized ? protocol::DatagramKind::Oversized
                                           : protocol::DatagramKind::Empty,
                           entry.address, entry.port);
                continue;
            }
            const protocol::DatagramKind kind = protocol::ClassifyDatagram({bytes, entry.length});
            CountHeard(kind, entry.address, entry.port);
            if (kind == protocol::DatagramKind::DmxData && m_dmxTap) {
                const std::span<const std::uint8_t> datagram(bytes, entry.length);
                m_dmxTap(datagram, entry.address, entry.port,
                         WasSentHere(datagram, entry.address, entry.port));
            }
            if (kind == protocol::DatagramKind::Poll || kind == protocol::DatagramKind::DmxData) {
                continue;
            }
            m_pending.Push(bytes, entry.length, kind, AddressText(entry.address), entry.port);
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

int NodeSocket::DispatchDatagram(const std::uint8_t* bytes, std::size_t length,
                                 const std::string& senderAddress, std::uint16_t senderPort) {
    return Dispatch(protocol::ClassifyDatagram({bytes, length}), bytes, length, senderAddress,
                    senderPort);
}

int NodeSocket::Dispatch(protocol::DatagramKind kind, const std::uint8_t* bytes, std::size_t length,
                         const std::string& senderAddress, std::uint16_t senderPort) {
    using protocol::DatagramKind;
    switch (kind) {
        case DatagramKind::Empty:
        case DatagramKind::Short:
            Show(kShortMessage);
            return 0;
        case DatagramKind::Oversized:
            // The read drops these whole, as the window's 600-byte buffer cannot hold them.
            return 0;
        case DatagramKind::Poll:
        case DatagramKind::DmxData:
            return 1;
        case DatagramKind::PollReply:
            return m_pollReplyHandler ? m_pollReplyHandler(bytes, length, senderAddress, senderPort)
                                      : 1;
        case DatagramKind::NeverSeen:
            ShowFormatted(kNeverSeen, bytes);
            return 1;
        case DatagramKind::Unexpected:
            ShowFormatted(kUnexpected, bytes);
            return 1;
        case DatagramKind::UnknownCode:
            break;
    }
    ShowFormatted(kInvalidHeader, bytes);
    return 0;
}

}  // namespace net
