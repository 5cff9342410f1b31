#include "monitor/SharedMonitor.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace monitor {
namespace {

// In the order they are written, so that 10.1.2.9 comes before 10.1.2.10.
std::array<std::uint8_t, 4> Octets(std::uint32_t networkOrder) {
    std::array<std::uint8_t, 4> octets;
    std::memcpy(octets.data(), &networkOrder, octets.size());
    return octets;
}

SourceRow RowOf(const Source& source, Time now, const std::vector<Source>& sources,
                const DmxMonitor& monitor) {
    SourceRow row;
    row.key = {source.address, source.universe};
    row.address = source.addressText;
    row.startCode = source.startCode;
    row.dataType = source.dataType;
    row.channelCount = source.channelCount;
    row.framesPerSecond = static_cast<int>(source.FramesPerSecond(now));
    row.lastSeen = source.lastSeen;
    row.state = source.state;
    row.own = source.own;
    row.conflict = source.state == SourceState::Live &&
                   monitor.FindUniverse(source.universe)->Conflict(sources);
    return row;
}

}  // namespace

void SharedMonitor::Feed(std::span<const std::uint8_t> datagram, const FrameSender& sender, Time at,
                         bool own) {
    const std::lock_guard lock(m_lock);
    m_monitor.Feed(datagram, sender, at, own);
}

net::DmxTap SharedMonitor::Tap() {
    return [this](std::span<const std::uint8_t> datagram, std::uint32_t address, std::uint16_t port,
                  bool own) {
        Feed(datagram, {address, port}, Clock::now(), own);
    };
}

void SharedMonitor::Expire(Time now) {
    const std::lock_guard lock(m_lock);
    m_monitor.Expire(now);
}

std::uint64_t SharedMonitor::Generation() const {
    const std::lock_guard lock(m_lock);
    return m_monitor.Generation();
}

void SharedMonitor::Clear() {
    const std::lock_guard lock(m_lock);
    m_monitor.Clear();
}

std::uint64_t SharedMonitor::StructureGeneration() const {
    const std::lock_guard lock(m_lock);
    return m_monitor.StructureGeneration();
}

MonitorView SharedMonitor::Take(Time now, SourceKey pick, bool rows) const {
    MonitorView view;
    const std::lock_guard lock(m_lock);
    const std::vector<Source>& sources = m_monitor.Sources();
    const Source* shown = nullptr;
    for (const Source& source : sources) {
        const SourceKey key{source.address, source.universe};
        if (rows) view.rows.push_back(RowOf(source, now, sources, m_monitor));

        if (pick.universe == 0) {
            const bool lower = !shown || source.universe < shown->universe;
            if (lower || (source.universe == shown->universe && source.lastSeen > shown->lastSeen))
                shown = &source;
        } else if (key == pick) {
            shown = &source;
        } else if (source.universe == pick.universe &&
                   (!shown ||
                    (shown->address != pick.address && source.lastSeen > shown->lastSeen))) {
            shown = &source;
        }
    }
    std::sort(view.rows.begin(), view.rows.end(), [](const SourceRow& a, const SourceRow& b) {
        if (a.key.universe != b.key.universe) return a.key.universe < b.key.universe;
        return Octets(a.key.address) < Octets(b.key.address);
    });
    if (shown) view.shown = *shown;
    return view;
}

}  // namespace monitor
