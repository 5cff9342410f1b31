#include "tools/MonitorLog.h"

#include <cstdio>

#include "output/OutputSettings.h"
#include "tools/CliArguments.h"

namespace clitool {
namespace {

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned char>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

}  // namespace

// The calendar in <chrono>, not gmtime: Windows' gmtime_s refuses times before 1970.
std::string IsoUtcTime(WallTime time) {
    using namespace std::chrono;
    const auto instant = floor<milliseconds>(time);
    const auto day = floor<days>(instant);
    const year_month_day date{day};
    const hh_mm_ss clock{instant - day};
    char text[96];  // room for any int, though a year has four digits
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()),
                  static_cast<int>(clock.subseconds().count()));
    return text;
}

const char* FormatWord(std::uint8_t dataType) {
    for (const int format :
         {output::kRaw, output::kRunLength, output::kChannelValue, output::kZeroInvalid}) {
        if (output::DataTypeByte(format) == dataType) return DataFormatName(format);
    }
    return "unknown";
}

EventLog::EventLog(const monitor::DmxMonitor& model, EventFormat format,
                   std::optional<int> universe, Write write)
    : m_model(model), m_format(format), m_universe(universe), m_write(std::move(write)) {}

void EventLog::SetClock(monitor::Time steady, WallTime wall) {
    m_steady = steady;
    m_wall = wall;
}

bool EventLog::Shows(int universe) const {
    return m_write && (!m_universe || *m_universe == universe);
}

std::string EventLog::Start(const char* event, monitor::Time at) const {
    const WallTime wall = m_wall + std::chrono::duration_cast<WallTime::duration>(at - m_steady);
    if (m_format == EventFormat::Log) return IsoUtcTime(wall) + " " + event;
    return "{\"time\": \"" + IsoUtcTime(wall) + "\", \"event\": \"" + event + "\"";
}

void EventLog::Listening(const std::string& interfaceName, std::uint16_t port, monitor::Time at) {
    if (!m_write) return;
    const std::string number = std::to_string(port);
    m_write(m_format == EventFormat::Log
                ? Start("listening", at) + " interface=" + interfaceName + " port=" + number
                : Start("listening", at) + ", \"interface\": " + Quoted(interfaceName) +
                      ", \"port\": " + number + "}");
}

void EventLog::Header(const char* event, const monitor::Source& source, monitor::Time at) {
    if (!Shows(source.universe)) return;
    const std::string universe = std::to_string(source.universe);
    const std::string startCode = std::to_string(source.startCode);
    const std::string type = std::to_string(source.dataType);
    const std::string channels = std::to_string(source.channelCount);
    const std::string format = FormatWord(source.dataType);
    if (m_format == EventFormat::Log) {
        m_write(Start(event, at) + " " + source.addressText + " universe=" + universe +
                " start-code=" + startCode + " format=" + format + " type=" + type +
                " channels=" + channels);
    } else {
        m_write(Start(event, at) + ", \"source\": " + Quoted(source.addressText) +
                ", \"universe\": " + universe + ", \"start_code\": " + startCode +
                ", \"format\": " + Quoted(format) + ", \"type\": " + type +
                ", \"channels\": " + channels + "}");
    }
}

void EventLog::SourceFound(const monitor::Source& source, monitor::Time at) {
    Header("found", source, at);
}

void EventLog::HeaderChanged(const monitor::Source& source, monitor::Time at) {
    Header("header", source, at);
}

void EventLog::FrameChanged(const monitor::Source& source,
                            std::span<const monitor::ChannelChange> changes, monitor::Time at) {
    // A frame that changed only the header has its own line.
    if (changes.empty() || !Shows(source.universe)) return;
    const std::string universe = std::to_string(source.universe);
    std::string line = Start("frame", at);
    if (m_format == EventFormat::Log) {
        line += " " + source.addressText + " universe=" + universe;
        for (const monitor::ChannelChange& change : changes) {
            // Appended piece by piece: GCC 12 at -O3 misreads "x" + std::to_string(...).
            line += ' ';
            line += std::to_string(change.channel);
            line += '@';
            line += std::to_string(change.level);
        }
    } else {
        line += ", \"source\": " + Quoted(source.addressText) + ", \"universe\": " + universe +
                ", \"changes\": {";
        const char* separator = "";
        for (const monitor::ChannelChange& change : changes) {
            line += separator;
            line += '"';
            line += std::to_string(change.channel);
            line += "\": ";
            line += std::to_string(change.level);
            separator = ", ";
        }
        line += "}}";
    }
    m_write(line);
}

void EventLog::SourceLost(const monitor::Source& source, monitor::Time at) {
    ++m_losses;
    if (!Shows(source.universe)) return;
    const std::string universe = std::to_string(source.universe);
    m_write(m_format == EventFormat::Log
                ? Start("lost", at) + " " + source.addressText + " universe=" + universe
                : Start("lost", at) + ", \"source\": " + Quoted(source.addressText) +
                      ", \"universe\": " + universe + "}");
}

void EventLog::ConflictStarted(const monitor::Universe& universe, monitor::Time at) {
    ++m_conflicts;
    if (!Shows(universe.number)) return;
    const std::string number = std::to_string(universe.number);
    std::string line = Start("conflict", at);
    line += m_format == EventFormat::Log ? " universe=" + number
                                         : ", \"universe\": " + number + ", \"sources\": [";
    const char* separator = "";
    for (const std::size_t index : universe.sources) {
        const monitor::Source& source = m_model.Sources()[index];
        if (source.state != monitor::SourceState::Live) continue;
        if (m_format == EventFormat::Log) {
            line += " " + source.addressText;
        } else {
            line += separator + Quoted(source.addressText);
            separator = ", ";
        }
    }
    m_write(m_format == EventFormat::Log ? line : line + "]}");
}

MonitorTotals TotalsOf(const monitor::DmxMonitor& model, const EventLog& log, std::uint64_t other) {
    return {model.Sources().size(),
            model.UniverseNumbers().size(),
            model.Frames(),
            model.Malformed(),
            log.Conflicts(),
            log.Losses(),
            other};
}

std::string SummaryText(const MonitorTotals& totals) {
    return "monitored sources=" + std::to_string(totals.sources) +
           " universes=" + std::to_string(totals.universes) +
           " frames=" + std::to_string(totals.frames) +
           " malformed=" + std::to_string(totals.malformed) +
           " conflicts=" + std::to_string(totals.conflicts) +
           " lost=" + std::to_string(totals.losses) + " other=" + std::to_string(totals.other);
}

}  // namespace clitool
