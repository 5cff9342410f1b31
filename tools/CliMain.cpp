// praveltest-cli: the poll and the level message from a shell; see HelpText in CliArguments.cpp.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "net/HostAddress.h"
#include "net/Interfaces.h"
#include "net/PortOwners.h"
#include "net/UdpSocket.h"
#include "output/OutputSettings.h"
#include "praveltest/Version.h"
#include "tools/CliArguments.h"
#include "tools/LevelReport.h"
#include "tools/NoAnswerDiagnosis.h"
#include "tools/ReplyCollector.h"
#include "tools/ReplyFormats.h"
#include "tools/ToolOptions.h"

namespace {

using Clock = std::chrono::steady_clock;

using tooloptions::kBadCommandLine;

constexpr int kFailed = 1;
constexpr char kNoHostAddress[] =
    "This host has no IPv4 address to broadcast from; no node can be reached.";

void Say(const std::string& line) {
    std::fprintf(stderr, "praveltest-cli: %s\n", line.c_str());
}

// The window's endpoint: every local address on the node port, broadcast, address reuse and
// the tie to the interface the user named.
void OpenEndpoint(net::UdpSocket& endpoint, std::uint16_t port,
                  const std::optional<net::Interface>& named) {
    net::UdpSettings settings;
    settings.port = port;
    settings.broadcast = true;
    settings.reuseAddress = true;
    settings.receiveQueueBytes = net::kNodePortQueueBytes;
    if (named) {
        settings.device = named->name;
        settings.deviceIndex = named->index;
    }
    net::OpenOrThrow(endpoint, settings);
}

void Send(const net::UdpSocket& endpoint, const std::string& address, std::uint16_t port,
          std::span<const std::uint8_t> bytes) {
    if (endpoint.SendTo(address, port, bytes)) return;
    throw std::runtime_error("cannot send to " + address + ":" + std::to_string(port) + ": " +
                             net::SocketErrorText(net::LastSocketError()));
}

// a.b.c.255 of the chosen interface, or of the address the window would take.
struct Destination {
    std::optional<std::string> address;
    std::string error;
    int status = 0;
    net::Ipv4 from{};
    std::optional<net::Interface> via;  // the interface that holds from, when one does
    bool named = false;                 // via is the one the user named
};

// The host name's address may be one no interface holds (Debian's 127.0.1.1): then the
// interface whose network it is in.
std::optional<net::Interface> HoldingInterface(const net::Ipv4& address,
                                               const std::vector<net::Interface>& interfaces) {
    const auto toNumber = [](const net::Ipv4& bytes) {
        std::uint32_t number = 0;
        for (const std::uint8_t byte : bytes) number = number << 8 | byte;
        return number;
    };
    for (const net::Interface& each : interfaces) {
        if (each.up && each.address == address) return each;
    }
    for (const net::Interface& each : interfaces) {
        if (!each.up || !each.address || each.prefixLength <= 0) continue;
        const std::uint32_t mask = 0xFFFFFFFFu << (32 - std::min(each.prefixLength, 32));
        if ((toNumber(*each.address) & mask) == (toNumber(address) & mask)) return each;
    }
    return std::nullopt;
}

Destination ChooseDestination(const std::optional<std::string>& interfaceChoice) {
    const std::vector<net::Interface> interfaces = net::ListInterfaces();
    if (interfaceChoice) {
        const net::InterfaceChoice choice = net::ChooseInterface(*interfaceChoice, interfaces);
        if (!choice.chosen) return {std::nullopt, choice.error, kBadCommandLine, {}, {}};
        const net::Ipv4 from = *choice.chosen->address;
        return {net::ClassCBroadcast(from), {}, 0, from, choice.chosen, true};
    }
    const std::optional<net::Ipv4> host = net::LookupHostAddress();
    if (!host) return {std::nullopt, kNoHostAddress, kFailed, {}, {}};
    return {net::ClassCBroadcast(*host), {}, 0, *host, HoldingInterface(*host, interfaces), false};
}

std::optional<net::Interface> NamedInterface(const Destination& destination) {
    return destination.named ? destination.via : std::nullopt;
}

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Reads everything that arrives until the deadline, so that a flood of other traffic on the
// port can delay a reply but never push it out of the queue unread.
void Collect(const net::UdpSocket& endpoint, Clock::time_point start, int waitMilliseconds,
             clitool::PollCollector& collector) {
    std::vector<std::uint8_t> buffer(65536);
    const Clock::time_point deadline = start + std::chrono::milliseconds(waitMilliseconds);
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return;
        if (!net::WaitReadableFor(endpoint.Handle(), static_cast<int>(left))) continue;
        net::Sender sender;
        while (const auto length = endpoint.Receive(buffer.data(), buffer.size(), sender)) {
            collector.Take({buffer.data(), *length}, sender.address, sender.port,
                           MillisecondsSince(start));
        }
    }
}

// Why nothing answered, as far as this host can tell; said only when no node answered.
void ExplainSilence(const Destination& destination, std::uint16_t port,
                    const clitool::PollCollector& collector) {
    clitool::NoAnswer facts;
    if (destination.via) {
        facts.interfaceName = destination.via->name;
        facts.prefixLength = destination.via->prefixLength;
    }
    facts.address = destination.from;
    facts.destination = *destination.address;
    facts.port = port;
    facts.ownPollCameBack = collector.OwnPollCameBack();
    facts.heard = collector.IgnoredCounts();
    facts.owners = net::FindUdpPortOwners(port);
    for (const std::string& line : clitool::NoAnswerLines(facts)) Say(line);
}

int Poll(const clitool::Arguments& arguments, const Destination& destination) {
    std::vector<std::string> ownAddresses;
    for (const net::Interface& each : net::ListInterfaces()) {
        if (each.address) ownAddresses.push_back(net::FormatAddress(*each.address));
    }
    net::UdpSocket endpoint;
    OpenEndpoint(endpoint, arguments.port, NamedInterface(destination));
    Send(endpoint, *destination.address, arguments.port, protocol::kPollMessage);
    const Clock::time_point start = Clock::now();
    clitool::PollCollector collector(std::move(ownAddresses), arguments.port);
    Collect(endpoint, start, arguments.poll.waitMilliseconds, collector);

    std::fputs(clitool::FormatNodes(collector.Nodes(), arguments.poll.format).c_str(), stdout);
    std::fflush(stdout);
    const std::string ignored = clitool::IgnoredText(collector.IgnoredCounts());
    if (!ignored.empty()) Say(ignored);
    const int answered = static_cast<int>(collector.Nodes().size());
    if (answered == 0) ExplainSilence(destination, arguments.port, collector);
    if (arguments.poll.expect && answered < *arguments.poll.expect) {
        Say(std::to_string(answered) + " of " + std::to_string(*arguments.poll.expect) +
            " expected nodes answered");
        return kFailed;
    }
    return 0;
}

int Level(const clitool::Arguments& arguments, const Destination& to) {
    const std::string& destination = *to.address;
    const clitool::LevelRequest& request = arguments.level;
    protocol::DmxBuffer buffer;
    const std::size_t length = output::BuildLevelMessage(request.settings, request.level, buffer);
    const std::span<const std::uint8_t> datagram(buffer.data(), length);
    if (!request.dryRun) {
        net::UdpSocket endpoint;
        OpenEndpoint(endpoint, arguments.port, NamedInterface(to));
        Send(endpoint, destination, arguments.port, datagram);
    }
    std::printf("%s\n", clitool::LevelLine(request, datagram, destination, arguments.port).c_str());
    if (request.dryRun) std::fputs(clitool::HexLines(datagram).c_str(), stdout);
    return 0;
}

int Run(const clitool::Arguments& arguments) {
    if (arguments.action == clitool::Action::ListInterfaces) {
        std::fputs(net::HostInterfaceListText().c_str(), stdout);
        return 0;
    }
    const Destination destination = ChooseDestination(arguments.interfaceChoice);
    if (!destination.address) {
        Say(destination.error);
        return destination.status;
    }
    try {
        return arguments.action == clitool::Action::Poll ? Poll(arguments, destination)
                                                         : Level(arguments, destination);
    } catch (const std::runtime_error& error) {
        Say(error.what());
        return kFailed;
    }
}

}  // namespace

int main(int argc, char* argv[]) {
#ifdef _WIN32
    // The records are read by programs: the same bytes as on Linux, no carriage returns.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const std::string program = argc > 0 ? argv[0] : "praveltest-cli";
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const clitool::Arguments arguments = clitool::ParseArguments(args);
    switch (arguments.action) {
        case clitool::Action::Help:
            std::fputs(clitool::HelpText(program).c_str(), stdout);
            return 0;
        case clitool::Action::Version:
            std::printf("praveltest-cli %s\n", praveltest::kVersion);
            return 0;
        case clitool::Action::Error:
            return tooloptions::ReportBadCommandLine("praveltest-cli", program, arguments.error);
        default:
            break;
    }
    if (!net::StartSocketLayer()) {
        Say("cannot start the socket layer");
        return kFailed;
    }
    const int status = Run(arguments);
    net::StopSocketLayer();
    return status;
}
