// Any datagrams from a few senders, at any pace, through the monitor model, its event log and
// its screen: no crash, and what the listener is told agrees with the model.
//
// The input is a run of records: a time step in 10 ms units (a step of 0 makes the clock go back
// 10 ms), a sender byte (its low four bits pick one of 16 addresses, bit 7 marks the datagram as
// the program's own), a length byte, then that many datagram bytes. After each record the model
// is expired and the screen drawn at a width and height taken from the step and sender bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "monitor/DmxMonitor.h"
#include "tools/MonitorLog.h"
#include "tools/TerminalScreen.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Checks each event against the model, then hands it to the log.
class Checker : public monitor::Listener {
public:
    Checker(const monitor::DmxMonitor& model, monitor::Listener& next)
        : m_model(model), m_next(next) {}

    void SourceFound(const monitor::Source& source, monitor::Time at) override {
        Check(source.state == monitor::SourceState::Live && source.lastSeen == at);
        m_next.SourceFound(source, at);
    }
    void HeaderChanged(const monitor::Source& source, monitor::Time at) override {
        Check(source.frames > 1);
        m_next.HeaderChanged(source, at);
    }
    void FrameChanged(const monitor::Source& source,
                      std::span<const monitor::ChannelChange> changes, monitor::Time at) override {
        int previous = 0;
        for (const monitor::ChannelChange& change : changes) {
            Check(change.channel > previous && change.channel <= source.channelCount);
            Check(source.levels[change.channel - 1u] == change.level);
            Check(source.changedAt[change.channel - 1u] == at);
            previous = change.channel;
        }
        if (source.frames == 1) Check(changes.size() == source.channelCount);
        m_next.FrameChanged(source, changes, at);
    }
    void SourceLost(const monitor::Source& source, monitor::Time at) override {
        Check(source.state == monitor::SourceState::Lost &&
              at - source.lastSeen >= monitor::kLostAfter);
        m_next.SourceLost(source, at);
    }
    void ConflictStarted(const monitor::Universe& universe, monitor::Time at) override {
        Check(universe.Conflict(m_model.Sources()));
        m_next.ConflictStarted(universe, at);
    }

private:
    const monitor::DmxMonitor& m_model;
    monitor::Listener& m_next;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    monitor::DmxMonitor model;
    clitool::EventLog log(model, size % 2 ? clitool::EventFormat::Json : clitool::EventFormat::Log,
                          std::nullopt, [](const std::string& line) {
                              Check(!line.empty() && line.find('\n') == std::string::npos);
                          });
    Checker checker(model, log);
    model.SetListener(&checker);
    clitool::ScreenView view{1, clitool::ValueMode::Level, 0, "fuzz"};

    monitor::Time now{};
    std::uint64_t fed = 0;
    std::span<const std::uint8_t> rest(data, size);
    while (rest.size() >= 3) {
        const std::uint8_t step = rest[0];
        const std::uint8_t sender = rest[1];
        const std::size_t length = std::min<std::size_t>(rest[2], rest.size() - 3);
        now += step ? std::chrono::milliseconds(10 * step) : std::chrono::milliseconds(-10);
        const std::uint32_t address = 0x0002010Au | static_cast<std::uint32_t>(sender & 0x0F) << 24;
        model.Feed(rest.subspan(3, length), {address, 6454}, now, (sender & 0x80) != 0);
        ++fed;
        rest = rest.subspan(3 + length);
        model.Expire(now);

        Check(model.Frames() + model.Malformed() == fed);
        for (const int number : model.UniverseNumbers()) {
            Check(model.FindUniverse(number)->sources.size() <= monitor::kMaxSourcesPerUniverse);
        }
        view.universe = 1 + step % monitor::kUniverses;
        view.mode = static_cast<clitool::ValueMode>(sender % 3);
        view.firstRow = sender;
        const int width = 1 + step;
        const int height = 1 + sender % 64;
        const auto lines = clitool::ScreenLines(model, view, width, height, now);
        Check(lines.size() <= static_cast<std::size_t>(height));
        for (const std::string& line : lines) Check(line.size() <= static_cast<std::size_t>(width));
    }
    return 0;
}
