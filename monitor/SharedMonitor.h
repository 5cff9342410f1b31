// The monitor between two threads: the endpoint's reader feeds it, a window or a benchmark
// reads it. Every call locks; what a reader shows it takes as a copy, so no lock outlives a call.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "monitor/DmxMonitor.h"
#include "net/NodeSocket.h"

namespace monitor {

// A source by what names it; a universe of 0 names none.
struct SourceKey {
    std::uint32_t address = 0;  // network order
    int universe = 0;
    bool operator==(const SourceKey&) const = default;
};

// One line of a source list, as it stood when taken.
struct SourceRow {
    SourceKey key;
    std::string address;
    std::uint8_t startCode = 0;
    std::uint8_t dataType = 0;
    std::uint16_t channelCount = 0;
    int framesPerSecond = 0;
    Time lastSeen{};
    SourceState state = SourceState::Live;
    bool own = false;
    // Live, on a universe that another live source sends too.
    bool conflict = false;
};

struct MonitorView {
    // By universe, then address.
    std::vector<SourceRow> rows;
    // The chosen source in full; see SharedMonitor::Take.
    std::optional<Source> shown;
};

class SharedMonitor {
public:
    void Feed(std::span<const std::uint8_t> datagram, const FrameSender& sender, Time at,
              bool own = false);
    // Feeds this from the endpoint's reader, stamped with the time of arrival. The caller
    // clears it from the endpoint before this monitor goes.
    net::DmxTap Tap();
    void Expire(Time now);
    std::uint64_t Generation() const;
    std::uint64_t StructureGeneration() const;
    void Clear();

    // Every source (none without rows), and in full the one `pick` names when it is there; else
    // the one heard last on pick's universe; else, with no universe named, the one heard last
    // on the lowest.
    MonitorView Take(Time now, SourceKey pick, bool rows = true) const;

private:
    mutable std::mutex m_lock;
    DmxMonitor m_monitor;
};

}  // namespace monitor
