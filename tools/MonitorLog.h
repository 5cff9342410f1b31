// What praveltest-cli monitor prints outside the screen: one line per event of the model, as
// text or as JSON, and the summary at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "monitor/DmxMonitor.h"

namespace clitool {

using WallTime = std::chrono::system_clock::time_point;

enum class EventFormat { Log, Json };

// ISO 8601 in UTC with milliseconds: 2026-12-09T05:43:07.123Z.
std::string IsoUtcTime(WallTime time);

// The model's events as lines, stamped with the wall-clock time of their steady time stamps.
// Counts the conflicts and losses of every universe, also those it does not print.
class EventLog : public monitor::Listener {
public:
    using Write = std::function<void(const std::string& line)>;

    // Prints only universe's events when one is given; an empty write prints nothing.
    EventLog(const monitor::DmxMonitor& model, EventFormat format, std::optional<int> universe,
             Write write);

    // The model's clock and the wall clock read at one moment; events after it are stamped
    // from this pair, so that a wall clock set back or forward never reorders the model.
    void SetClock(monitor::Time steady, WallTime wall);
    // The first line: where the tool listens. interfaceName is "all" when it is tied to none.
    void Listening(const std::string& interfaceName, std::uint16_t port, monitor::Time at);

    std::uint64_t Conflicts() const { return m_conflicts; }
    std::uint64_t Losses() const { return m_losses; }

    void SourceFound(const monitor::Source& source, monitor::Time at) override;
    void HeaderChanged(const monitor::Source& source, monitor::Time at) override;
    void FrameChanged(const monitor::Source& source,
                      std::span<const monitor::ChannelChange> changes, monitor::Time at) override;
    void SourceLost(const monitor::Source& source, monitor::Time at) override;
    void ConflictStarted(const monitor::Universe& universe, monitor::Time at) override;

private:
    bool Shows(int universe) const;
    // The line's start: the time, then the event's name.
    std::string Start(const char* event, monitor::Time at) const;
    void Header(const char* event, const monitor::Source& source, monitor::Time at);

    const monitor::DmxMonitor& m_model;
    EventFormat m_format;
    std::optional<int> m_universe;
    Write m_write;
    monitor::Time m_steady{};
    WallTime m_wall{};
    std::uint64_t m_conflicts = 0;
    std::uint64_t m_losses = 0;
};

struct MonitorTotals {
    std::size_t sources = 0;
    std::size_t universes = 0;
    std::uint64_t frames = 0;
    std::uint64_t malformed = 0;
    std::uint64_t conflicts = 0;
    std::uint64_t losses = 0;
    std::uint64_t other = 0;  // datagrams that were no DMX data
};
MonitorTotals TotalsOf(const monitor::DmxMonitor& model, const EventLog& log, std::uint64_t other);
// "monitored sources=N universes=N frames=N malformed=N conflicts=N lost=N other=N"
std::string SummaryText(const MonitorTotals& totals);

// The --format word of a frame's data-type byte, as level takes it: raw, rle, pairs, zero, or
// unknown for any other byte.
const char* FormatWord(std::uint8_t dataType);

}  // namespace clitool
