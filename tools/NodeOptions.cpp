#include "tools/NodeOptions.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <optional>

#include "net/HostAddress.h"

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

}  // namespace simnode
