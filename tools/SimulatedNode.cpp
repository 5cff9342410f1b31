#include "tools/SimulatedNode.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <stdexcept>

#include "net/HostAddress.h"
#include "net/SystemSockets.h"

namespace simnode {
namespace {

using protocol::PollReplyMessage;

// Digits only, or 0x and hex digits: no sign, no spaces, nothing after.
std::optional<unsigned long> ParseNumber(const std::string& text, unsigned long max) {
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    if (start >= text.size()) return std::nullopt;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    unsigned long value = 0;
    const auto [end, error] = std::from_chars(first, last, value, base);
    if (error != std::errc{} || end != last || value > max) return std::nullopt;
    return value;
}

std::optional<std::uint8_t> ParseHexPair(const char* text) {
    std::uint8_t value = 0;
    const auto [end, error] = std::from_chars(text, text + 2, value, 16);
    if (error != std::errc{} || end != text + 2) return std::nullopt;
    return value;
}

std::optional<std::array<std::uint8_t, 6>> ParseMac(const std::string& text) {
    constexpr std::size_t kMacTextLength = 17;
    if (text.size() != kMacTextLength) return std::nullopt;
    std::array<std::uint8_t, 6> mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0 && text[i * 3 - 1] != ':') return std::nullopt;
        const auto byte = ParseHexPair(text.data() + i * 3);
        if (!byte) return std::nullopt;
        mac[i] = *byte;
    }
    return mac;
}

std::optional<std::array<std::uint8_t, 2>> ParseNodeType(std::string text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.erase(0, 2);
    }
    if (text.size() != 4) return std::nullopt;
    const auto high = ParseHexPair(text.data());
    const auto low = ParseHexPair(text.data() + 2);
    if (!high || !low) return std::nullopt;
    return std::array<std::uint8_t, 2>{*high, *low};
}

// Sets one option from its text; returns what was wrong with the text, or nothing.
using Setter = std::function<std::optional<std::string>(NodeOptions&, const std::string&)>;

Setter ByteField(std::uint8_t PollReplyMessage::*field) {
    return [field](NodeOptions& options, const std::string& text) -> std::optional<std::string> {
        const auto value = ParseNumber(text, 255);
        if (!value) return "expected 0 to 255, decimal or 0x hex";
        options.identity.*field = static_cast<std::uint8_t>(*value);
        return std::nullopt;
    };
}

struct OptionEntry {
    const char* name;
    Setter set;
};

const std::vector<OptionEntry>& Options() {
    static const std::vector<OptionEntry> options{
        {"name",
         [](NodeOptions& options, const std::string& text) -> std::optional<std::string> {
             if (text.size() > protocol::kNodeNameLength) return "at most 10 bytes";
             options.identity.name = text;
             return std::nullopt;
         }},
        {"mac",
         [](NodeOptions& options, const std::string& text) -> std::optional<std::string> {
             const auto mac = ParseMac(text);
             if (!mac) return "expected six hex pairs like aa:bb:cc:dd:ee:ff";
             options.identity.mac = *mac;
             return std::nullopt;
         }},
        {"node-type",
         [](NodeOptions& options, const std::string& text) -> std::optional<std::string> {
             const auto type = ParseNodeType(text);
             if (!type) return "expected 4 hex digits like 0102";
             options.identity.nodeType = *type;
             return std::nullopt;
         }},
        {"version", ByteField(&PollReplyMessage::version)},
        {"switches", ByteField(&PollReplyMessage::switches)},
        {"options", ByteField(&PollReplyMessage::options)},
        {"tos", ByteField(&PollReplyMessage::typeOfService)},
        {"ttl", ByteField(&PollReplyMessage::ttl)},
        {"listen-to", ByteField(&PollReplyMessage::listenTo)},
        {"universe", ByteField(&PollReplyMessage::universe)},
        {"listen-address",
         [](NodeOptions& options, const std::string& text) -> std::optional<std::string> {
             const auto address = net::ParseAddress(text);
             if (!address) return "expected a dotted IPv4 address";
             options.identity.listenAddress = *address;
             return std::nullopt;
         }},
        {"count",
         [](NodeOptions& options, const std::string& text) -> std::optional<std::string> {
             const auto count = ParseNumber(text, kMaxNodeCount);
             if (!count || *count == 0) return "expected 1 to " + std::to_string(kMaxNodeCount);
             options.count = static_cast<int>(*count);
             return std::nullopt;
         }},
        {"port",
         [](NodeOptions& options, const std::string& text) -> std::optional<std::string> {
             const auto port = ParseNumber(text, 65535);
             if (!port || *port == 0) return "expected 1 to 65535";
             options.port = static_cast<std::uint16_t>(*port);
             return std::nullopt;
         }},
        {"bind",
         [](NodeOptions& options, const std::string& text) -> std::optional<std::string> {
             if (!net::ParseAddress(text)) return "expected a dotted IPv4 address";
             options.bindAddress = text;
             return std::nullopt;
         }},
    };
    return options;
}

#ifdef _WIN32
constexpr char kStopEvents[] = "Ctrl+C, Ctrl+Break or closing the console";
#else
constexpr char kStopEvents[] = "SIGINT or SIGTERM";
#endif

std::string Endpoint(const std::string& address, std::uint16_t port) {
    return address + ":" + std::to_string(port);
}

std::runtime_error SocketError(const std::string& what) {
    return std::runtime_error(what + ": " + net::SocketErrorText(net::LastSocketError()));
}

}  // namespace

NodeOptions::NodeOptions() {
    // A locally administered MAC, so a simulated node never poses as a real device.
    identity.mac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    identity.nodeType = {0x00, 0x01};
    identity.version = 1;
    identity.name = "SimNode";
    identity.options = protocol::kOptionConfigured;
    identity.ttl = 64;
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
    ParseResult result;
    auto fail = [&result](std::string error) {
        result.outcome = ParseOutcome::Error;
        result.error = std::move(error);
        return result;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.outcome = ParseOutcome::Help;
            return result;
        }
        if (arg == "--list-interfaces") {
            result.outcome = ParseOutcome::ListInterfaces;
            return result;
        }
        if (arg.rfind("--", 0) != 0) return fail("unexpected argument '" + arg + "'");
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? arg.npos : equals - 2);
        const auto entry =
            std::find_if(Options().begin(), Options().end(),
                         [&name](const OptionEntry& each) { return name == each.name; });
        if (entry == Options().end()) return fail("unknown option '--" + name + "'");
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return fail("option '--" + name + "' needs a value");
        }
        if (const auto problem = entry->set(result.options, value)) {
            return fail("bad value '" + value + "' for --" + name + ": " + *problem);
        }
    }
    result.outcome = ParseOutcome::Run;
    return result;
}

std::string UsageText(const std::string& program) {
    return "Usage: " + program + R"( [OPTION]...
Acts as one or more lighting nodes on UDP: answers every poll (VXPP) with a
33-byte poll reply (VXPR) per node, sent from an ephemeral port back to the
poll's sender, and prints one line for each DMX data message (VXDD) it hears.

Options (numbers are decimal or 0x hex):
  --name TEXT            node name, at most 10 bytes (default SimNode)
  --mac MAC              aa:bb:cc:dd:ee:ff (default 02:00:00:00:00:01)
  --node-type HHHH       node type, 4 hex digits (default 0001)
  --version N            version byte (default 1)
  --switches N           switch settings byte (default 0)
  --options N            options byte: 1 configured, 2 DHCP, 4 error
                         correction (default 1)
  --tos N                type of service byte (default 0)
  --ttl N                packet TTL byte (default 64)
  --listen-to N          0 broadcast, 1 class C broadcast (default 0)
  --listen-address A.B.C.D   listen IP address (default 0.0.0.0)
  --universe N           DMX universe byte, 0 to 255, zero-based (default 0)
  --count N              act as N nodes (1 to 4096, default 1); with N > 1 the
                         names are numbered, the name cut short so the number
                         fits in 10 bytes (SimNode1..SimNodeN), and the MACs
                         count up from --mac
  --port N               UDP port to listen on (default 3333)
  --bind A.B.C.D         local address to listen on (default 0.0.0.0); on the
                         program's own host use its broadcast address, a.b.c.255
  --list-interfaces      list this host's IPv4 interfaces that are up, the same
                         listing as praveltest --list-interfaces (see its --help),
                         and exit
  -h, --help             show this text

Output, one line each, flushed at once:
  ready bind=ADDRESS port=PORT nodes=N
  poll from=ADDRESS:PORT replies=N
  dmx from=ADDRESS:PORT universe=U universe-byte=B start-code=S type=T channels=C levels=MIN-MAX
  ignored from=ADDRESS:PORT length=BYTES
where U is the 1-based universe (B + 1), all numbers are decimal, and levels
is "none" when the message carries no channels.

Exit status: 0 after )" +
           std::string(kStopEvents) + R"(, 1 when the sockets fail,
2 for a bad command line.
)";
}

std::vector<PollReplyMessage> NodeIdentities(const NodeOptions& options) {
    std::vector<PollReplyMessage> nodes;
    if (options.count <= 1) {
        nodes.push_back(options.identity);
        return nodes;
    }
    const std::string last = std::to_string(options.count);
    const std::string base =
        options.identity.name.substr(0, protocol::kNodeNameLength - last.size());
    std::uint64_t mac = 0;
    for (const std::uint8_t byte : options.identity.mac) mac = mac << 8 | byte;
    for (int i = 0; i < options.count; ++i) {
        PollReplyMessage node = options.identity;
        node.name = base + std::to_string(i + 1);
        const std::uint64_t thisMac = mac + static_cast<std::uint64_t>(i);
        for (std::size_t b = 0; b < node.mac.size(); ++b) {
            node.mac[b] = static_cast<std::uint8_t>(thisMac >> (8 * (node.mac.size() - 1 - b)));
        }
        nodes.push_back(std::move(node));
    }
    return nodes;
}

std::string ReadyLine(const NodeOptions& options) {
    return "ready bind=" + options.bindAddress + " port=" + std::to_string(options.port) +
           " nodes=" + std::to_string(options.count);
}

std::string PollLine(const std::string& sender, std::uint16_t port, std::size_t replies) {
    return "poll from=" + Endpoint(sender, port) + " replies=" + std::to_string(replies);
}

std::string DmxLine(const protocol::DmxDataView& data, const std::string& sender,
                    std::uint16_t port) {
    std::string levels = "none";
    if (!data.data.empty()) {
        const auto [low, high] = std::minmax_element(data.data.begin(), data.data.end());
        levels = std::to_string(*low) + "-" + std::to_string(*high);
    }
    return "dmx from=" + Endpoint(sender, port) + " universe=" + std::to_string(data.universe + 1) +
           " universe-byte=" + std::to_string(data.universe) +
           " start-code=" + std::to_string(data.startCode) +
           " type=" + std::to_string(data.dataType) +
           " channels=" + std::to_string(data.channelCount) + " levels=" + levels;
}

std::string IgnoredLine(const std::string& sender, std::uint16_t port, std::size_t length) {
    return "ignored from=" + Endpoint(sender, port) + " length=" + std::to_string(length);
}

NodeEndpoint::NodeEndpoint(const NodeOptions& options) : m_buffer(65536) {
    for (const PollReplyMessage& node : NodeIdentities(options)) {
        m_replies.push_back(protocol::WritePollReply(node));
    }
    m_receive = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_receive == net::kInvalidSocket) throw SocketError("cannot create the receive socket");
    net::MakeNonBlocking(m_receive);
    // Address reuse lets the node share the port with the program on one host.
    net::AllowBroadcastAndReuse(m_receive);
    net::SetIntOption(m_receive, SO_RCVBUF, kReceiveQueueBytes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(options.port);
    inet_pton(AF_INET, options.bindAddress.c_str(), &local.sin_addr);
    if (bind(m_receive, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const auto error =
            SocketError("cannot bind " + Endpoint(options.bindAddress, options.port));
        net::CloseSocketHandle(m_receive);
        throw error;
    }
    m_send = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_send == net::kInvalidSocket) {
        const auto error = SocketError("cannot create the send socket");
        net::CloseSocketHandle(m_receive);
        throw error;
    }
}

NodeEndpoint::~NodeEndpoint() {
    net::CloseSocketHandle(m_receive);
    net::CloseSocketHandle(m_send);
}

std::optional<std::string> NodeEndpoint::HandleOne() {
    net::Sender sender;
    const auto received = net::ReceiveDatagram(m_receive, m_buffer.data(), m_buffer.size(), sender);
    if (!received) return std::nullopt;
    const std::span<const std::uint8_t> datagram(m_buffer.data(), *received);

    if (protocol::HasCode(datagram, protocol::kCodePoll)) {
        sockaddr_in destination{};
        destination.sin_family = AF_INET;
        destination.sin_port = htons(sender.port);
        inet_pton(AF_INET, sender.address.c_str(), &destination.sin_addr);
        std::size_t sent = 0;
        for (const auto& reply : m_replies) {
            if (sendto(m_send, reinterpret_cast<const char*>(reply.data()),
                       static_cast<net::SocketLength>(reply.size()), 0,
                       reinterpret_cast<const sockaddr*>(&destination), sizeof destination) >= 0) {
                ++sent;
            }
        }
        return PollLine(sender.address, sender.port, sent);
    }
    if (const auto data = protocol::ReadDmxData(datagram)) {
        return DmxLine(*data, sender.address, sender.port);
    }
    return IgnoredLine(sender.address, sender.port, datagram.size());
}

int Serve(NodeEndpoint& endpoint, net::SocketHandle stopHandle, std::FILE* out) {
    while (true) {
        switch (net::WaitReadable(endpoint.ReceiveHandle(), stopHandle)) {
            case net::WaitResult::Second:
                return 0;
            case net::WaitResult::Failed:
                return 1;
            case net::WaitResult::First:
                break;
        }
        // A pending socket error also wakes the wait; the read below clears it.
        if (const auto line = endpoint.HandleOne()) {
            std::fprintf(out, "%s\n", line->c_str());
            std::fflush(out);
        }
    }
}

}  // namespace simnode
