#include "tools/NodeOptions.h"

#include <array>
#include <charconv>
#include <optional>

#include "net/HostAddress.h"
#include "tools/ToolOptions.h"

namespace simnode {
namespace {

using protocol::PollReplyMessage;
using tooloptions::Problem;

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

// Always four digits, as the tree shows it, so not a number of the usual format.
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

constexpr char kAddress[] = "expected a dotted IPv4 address";

tooloptions::Setter Byte(std::uint8_t& field) {
    return tooloptions::Integer(field, 0, 255, "expected 0 to 255, decimal or 0x hex");
}

std::vector<tooloptions::Option> Table(NodeOptions& options) {
    using tooloptions::Parsed;
    PollReplyMessage& identity = options.identity;
    return {
        {"--name",
         [&identity](const std::string& text) -> Problem {
             if (text.size() > protocol::kNodeNameLength) return "at most 10 bytes";
             identity.name = text;
             return std::nullopt;
         }},
        {"--mac", Parsed(identity.mac, ParseMac, "expected six hex pairs like aa:bb:cc:dd:ee:ff")},
        {"--node-type",
         Parsed(identity.nodeType, ParseNodeType, "expected 4 hex digits like 0102")},
        {"--version", Byte(identity.version)},
        {"--switches", Byte(identity.switches)},
        {"--options", Byte(identity.options)},
        {"--tos", Byte(identity.typeOfService)},
        {"--ttl", Byte(identity.ttl)},
        {"--listen-to", Byte(identity.listenTo)},
        {"--universe", Byte(identity.universe)},
        {"--listen-address", Parsed(identity.listenAddress, net::ParseAddress, kAddress)},
        {"--count", tooloptions::Integer(options.count, 1, kMaxNodeCount,
                                         "expected 1 to " + std::to_string(kMaxNodeCount))},
        {"--port", tooloptions::Integer(options.port, 1, 65535, "expected 1 to 65535")},
        {"--bind",
         [&options](const std::string& text) -> Problem {
             if (!net::ParseAddress(text)) return kAddress;
             options.bindAddress = text;
             return std::nullopt;
         }},
    };
}

#ifdef _WIN32
constexpr char kStopEvents[] = "Ctrl+C, Ctrl+Break or closing the console";
#else
constexpr char kStopEvents[] = "SIGINT or SIGTERM";
#endif

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
    if (const auto word = tooloptions::FindFirst(args, {"--help", "-h", "--list-interfaces"})) {
        result.outcome =
            *word == "--list-interfaces" ? ParseOutcome::ListInterfaces : ParseOutcome::Help;
        return result;
    }
    if (const auto mistake = tooloptions::Read(args, Table(result.options))) {
        result.error = *mistake;
        return result;
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

}  // namespace simnode
