#include "tools/CliMonitor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>

#include "monitor/DmxMonitor.h"
#include "tools/MonitorLog.h"
#include "tools/StopRequest.h"
#include "tools/Terminal.h"
#include "tools/TerminalScreen.h"

namespace clitool {
namespace {

using monitor::Clock;
using SystemClock = std::chrono::system_clock;
using std::chrono::milliseconds;

// How long one wait lasts at most: the loss of a source is seen, and keys and a stop request
// are read, this much late at worst.
constexpr milliseconds kTick{50};
// The screen is drawn at most this often, and only when it would look different.
constexpr milliseconds kRedraw{100};

MonitorFormat Chosen(const MonitorRequest& request) {
    if (request.format != MonitorFormat::Automatic) return request.format;
    return StandardOutputIsTerminal() ? MonitorFormat::Screen : MonitorFormat::Log;
}

// Feeds the model everything waiting on the endpoint; counts what is no DMX data.
void ReadWaiting(const net::UdpSocket& endpoint, net::DatagramBatch& batch,
                 monitor::DmxMonitor& model, monitor::Time at, std::uint64_t& other) {
    std::size_t count = 0;
    do {
        count = endpoint.Receive(batch);
        for (std::size_t i = 0; i < count; ++i) {
            const net::DatagramBatch::Entry& entry = batch.entries[i];
            const std::span<const std::uint8_t> bytes(batch.buffers[i].data(), entry.length);
            if (entry.oversized ||
                protocol::ClassifyDatagram(bytes) != protocol::DatagramKind::DmxData) {
                ++other;
                continue;
            }
            model.Feed(bytes, {entry.address, entry.port}, at);
        }
    } while (count == net::DatagramBatch::kCount);
}

bool StopRequested() {
    return net::WaitReadableFor(simnode::StopRequestHandle(), 0);
}

}  // namespace

std::string MonitorMistake(const MonitorRequest& request) {
    if (request.format == MonitorFormat::Screen && !StandardOutputIsTerminal()) {
        return "the screen needs a terminal on standard output; use --format log or json";
    }
    return {};
}

int RunMonitor(const MonitorRequest& request, const net::UdpSocket& endpoint,
               const std::string& interfaceName, std::uint16_t port,
               const std::function<void(const std::string&)>& say) {
    std::string why;
    if (!simnode::InstallStopRequest(&why)) throw std::runtime_error(why);
    const MonitorFormat format = Chosen(request);
    const bool screen = format == MonitorFormat::Screen;

    bool outputFailed = false;
    EventLog::Write write;
    if (!screen) {
        write = [&outputFailed](const std::string& line) {
            outputFailed |= std::fprintf(stdout, "%s\n", line.c_str()) < 0;
        };
    }
    monitor::DmxMonitor model;
    EventLog log(model, format == MonitorFormat::Json ? EventFormat::Json : EventFormat::Log,
                 request.universe, write);
    model.SetListener(&log);

    const monitor::Time start = Clock::now();
    const monitor::Time end =
        request.milliseconds ? start + milliseconds(*request.milliseconds) : monitor::Time::max();
    log.SetClock(start, SystemClock::now());
    log.Listening(interfaceName, port, start);
    std::fflush(stdout);

    std::optional<Terminal> terminal;
    ScreenView view{.universe = request.universe.value_or(1),
                    .mode = ValueMode::Level,
                    .firstRow = 0,
                    .listening = interfaceName + " port " + std::to_string(port)};
    std::vector<std::string> drawn;
    monitor::Time nextDraw = start;
    if (screen) terminal.emplace();

    const auto batch = std::make_unique<net::DatagramBatch>();
    std::uint64_t other = 0;
    bool quit = false;
    while (!quit && !outputFailed && !StopRequested()) {
        monitor::Time now = Clock::now();
        if (now >= end) break;
        // Rounded up, so that the last wait does not end just short of the end.
        const milliseconds left = std::chrono::ceil<milliseconds>(end - now);
        const bool readable = net::WaitReadableFor(endpoint.Handle(),
                                                   static_cast<int>(std::min(left, kTick).count()));
        now = Clock::now();
        log.SetClock(now, SystemClock::now());
        if (readable) ReadWaiting(endpoint, *batch, model, now, other);
        model.Expire(now);
        if (!screen) {
            outputFailed |= std::fflush(stdout) != 0;
            continue;
        }
        for (const KeyPress& key : terminal->ReadKeys()) {
            quit |= !ApplyKey(key, view, model.UniverseNumbers());
        }
        if (now < nextDraw) continue;
        std::vector<std::string> lines =
            ScreenLines(model, view, terminal->Width(), terminal->Height(), now);
        if (lines != drawn) terminal->Draw(lines);
        drawn = std::move(lines);
        nextDraw = now + kRedraw;
    }
    terminal.reset();
    say(SummaryText(TotalsOf(model, log, other)));
    return 0;
}

}  // namespace clitool
