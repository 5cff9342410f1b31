// What is on the wire: every DMX data frame heard on the node port, kept per source and per
// universe, in memory bounded whatever arrives. Not thread-safe: one owner feeds and reads it.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "protocol/NodeProtocol.h"

namespace monitor {

using Clock = std::chrono::steady_clock;
using Time = Clock::time_point;
using Duration = Clock::duration;

// A source is lost once it has sent nothing for this long: the usual data-loss mark of the
// trade, long enough that a console's slow refresh never trips it.
inline constexpr Duration kLostAfter = std::chrono::milliseconds(2500);
inline constexpr std::size_t kMaxSourcesPerUniverse = 16;
inline constexpr int kUniverses = 256;
inline constexpr std::size_t kChannels = protocol::kMaxChannels;

enum class SourceState { Live, Lost };

// One sender on one universe. Universes are the one-based numbers the window shows.
struct Source {
    std::uint32_t address = 0;  // network order, as the socket gives it
    std::string addressText;
    std::uint16_t port = 0;  // of the last frame
    int universe = 1;
    bool own = false;  // the last frame was one this program sent

    // The last well-formed frame.
    std::uint8_t startCode = 0;
    std::uint8_t dataType = 0;
    std::uint16_t channelCount = 0;
    std::array<std::uint8_t, kChannels> levels{};
    // When each channel last changed; a channel's first level counts as a change.
    std::array<Time, kChannels> changedAt{};

    Time firstSeen{};
    Time lastSeen{};
    std::uint64_t frames = 0;
    std::uint64_t malformed = 0;
    // Between two frames; zero until the second frame.
    Duration shortestGap = Duration::zero();
    Duration longestGap = Duration::zero();
    SourceState state = SourceState::Live;

    // Frames in the second up to now, counted in 100 ms slots.
    double FramesPerSecond(Time now) const;
    std::array<std::uint32_t, 10> slotFrames{};
    std::int64_t lastSlot = 0;
};

struct Universe {
    int number = 1;
    std::vector<std::size_t> sources;  // indexes into DmxMonitor::Sources()
    // Sources refused because the universe already had kMaxSourcesPerUniverse.
    std::uint64_t refusedSources = 0;
    // Two or more live sources send it.
    bool Conflict(const std::vector<Source>& all) const;
};

// What a frame changed: channel numbers (one-based) and their new levels.
struct ChannelChange {
    std::uint16_t channel;
    std::uint8_t level;
};

// Told of each event as it happens, for the log; the window reads the state instead.
class Listener {
public:
    virtual ~Listener() = default;
    // A source sent its first frame, or its first since it was lost.
    virtual void SourceFound(const Source& source, Time at) = 0;
    // A source that stays live sent a frame with another start code, data type or channel
    // count; told before that frame's FrameChanged.
    virtual void HeaderChanged(const Source& /*source*/, Time /*at*/) {}
    // A well-formed frame changed at least one channel (every channel on a source's first).
    virtual void FrameChanged(const Source& source, std::span<const ChannelChange> changes,
                              Time at) = 0;
    virtual void SourceLost(const Source& source, Time at) = 0;
    // Two live sources send one universe now, where at most one did before.
    virtual void ConflictStarted(const Universe& universe, Time at) = 0;
};

struct FrameSender {
    std::uint32_t address = 0;  // network order, as the socket gives it
    std::uint16_t port = 0;
};

class DmxMonitor {
public:
    explicit DmxMonitor(Listener* listener = nullptr);
    // For a listener that reads the model back, made after it.
    void SetListener(Listener* listener) { m_listener = listener; }

    // One datagram whose code is VXDD. Malformed frames (a channel count of 0 or over 512, or
    // more channels than the datagram holds) are counted, never shown.
    void Feed(std::span<const std::uint8_t> datagram, const FrameSender& sender, Time at,
              bool own = false);
    // Marks the sources that have been silent for kLostAfter as lost.
    void Expire(Time now);

    const std::vector<Source>& Sources() const { return m_sources; }
    // Nothing for a universe no source sends.
    const Universe* FindUniverse(int number) const;
    // The universes heard, lowest first.
    std::vector<int> UniverseNumbers() const;
    std::uint64_t Frames() const { return m_frames; }
    // Malformed frames, also those too short to name a universe.
    std::uint64_t Malformed() const { return m_malformed; }
    std::uint64_t RefusedSources() const;
    // Bumped by every change of what Sources() shows, so a reader repaints only on change.
    std::uint64_t Generation() const { return m_generation; }
    // Bumped only when a source comes, goes, is lost or found, or changes its header: what a
    // source list shows beside rates and times, so that it can be rebuilt less often.
    std::uint64_t StructureGeneration() const { return m_structure; }
    void Clear();

private:
    void NumberUniverses();
    Source* FindOrAddSource(const FrameSender& sender, int universe, Time at);
    void TakeFrame(Source& source, const protocol::DmxDataView& frame, Time at);
    void CountFrame(Source& source, Time at);

    Listener* m_listener;
    std::vector<Source> m_sources;
    std::array<Universe, kUniverses> m_universes{};
    std::unordered_map<std::uint64_t, std::size_t> m_byKey;
    std::vector<ChannelChange> m_changes;
    std::uint64_t m_frames = 0;
    std::uint64_t m_malformed = 0;
    std::uint64_t m_generation = 0;
    std::uint64_t m_structure = 0;
};

// "Raw", "Channel/Value", "RLE", "Zero" or "type N": how a frame's data-type byte reads.
std::string DataTypeName(std::uint8_t dataType);

}  // namespace monitor
