#include "monitor/DmxMonitor.h"

#include <algorithm>

#include "net/SocketCompat.h"

namespace monitor {
namespace {

constexpr Duration kSlot = std::chrono::milliseconds(100);
constexpr std::int64_t kSlots = 10;  // one second

std::int64_t SlotOf(Time at) {
    return at.time_since_epoch() / kSlot;
}

std::uint64_t KeyOf(std::uint32_t address, int universe) {
    return static_cast<std::uint64_t>(address) << 16 | static_cast<std::uint64_t>(universe);
}

bool Counts(const Source& source) {
    return source.state == SourceState::Live && source.frames > 0;
}

}  // namespace

DmxMonitor::DmxMonitor(Listener* listener) : m_listener(listener) {
    NumberUniverses();
}

void DmxMonitor::NumberUniverses() {
    for (int i = 0; i < kUniverses; ++i) m_universes[static_cast<std::size_t>(i)].number = i + 1;
}

std::string DataTypeName(std::uint8_t dataType) {
    switch (static_cast<protocol::DmxDataType>(dataType)) {
        case protocol::DmxDataType::Raw:
            return "RAW";
        case protocol::DmxDataType::RunLength:
            return "RLE";
        case protocol::DmxDataType::ChannelValue:
            return "Channel/Value";
        case protocol::DmxDataType::Invalid:
            return "Zero";
    }
    return "type " + std::to_string(dataType);
}

double Source::FramesPerSecond(Time now) const {
    const std::int64_t nowSlot = SlotOf(now);
    std::uint32_t count = 0;
    // Slots after the last frame still hold what they counted a second ago.
    for (std::int64_t slot = std::max(nowSlot - kSlots + 1, lastSlot - kSlots + 1);
         slot <= std::min(lastSlot, nowSlot); ++slot) {
        count += slotFrames[static_cast<std::size_t>(((slot % kSlots) + kSlots) % kSlots)];
    }
    return count;
}

bool Universe::Conflict(const std::vector<Source>& all) const {
    return std::count_if(sources.begin(), sources.end(),
                         [&](std::size_t index) { return Counts(all[index]); }) >= 2;
}

void DmxMonitor::Feed(std::span<const std::uint8_t> datagram, const FrameSender& sender, Time at,
                      bool own) {
    const std::optional<protocol::DmxDataView> frame = protocol::ReadDmxData(datagram);
    const bool wellFormed =
        frame && frame->channelCount >= 1 && frame->channelCount <= protocol::kMaxChannels;
    if (!wellFormed) {
        ++m_malformed;
        // Counted on the source it names, when that one is known; garbage alone makes none.
        if (datagram.size() >= protocol::kDmxHeaderLength) {
            const auto known = m_byKey.find(KeyOf(sender.address, datagram[4] + 1));
            if (known != m_byKey.end()) {
                ++m_sources[known->second].malformed;
                ++m_generation;
            }
        }
        return;
    }
    ++m_frames;
    Source* source = FindOrAddSource(sender, frame->universe + 1, at);
    if (!source) return;
    source->port = sender.port;
    source->own = own;
    TakeFrame(*source, *frame, at);
}

Source* DmxMonitor::FindOrAddSource(const FrameSender& sender, int number, Time at) {
    const std::uint64_t key = KeyOf(sender.address, number);
    if (const auto known = m_byKey.find(key); known != m_byKey.end()) {
        return &m_sources[known->second];
    }
    Universe& universe = m_universes[static_cast<std::size_t>(number - 1)];
    std::size_t index = m_sources.size();
    if (universe.sources.size() >= kMaxSourcesPerUniverse) {
        // A lost source gives its place to a new one: the one silent longest.
        const auto oldest = std::min_element(
            universe.sources.begin(), universe.sources.end(), [&](std::size_t a, std::size_t b) {
                const bool lostA = m_sources[a].state == SourceState::Lost;
                const bool lostB = m_sources[b].state == SourceState::Lost;
                if (lostA != lostB) return lostA;
                return m_sources[a].lastSeen < m_sources[b].lastSeen;
            });
        if (m_sources[*oldest].state != SourceState::Lost) {
            ++universe.refusedSources;
            return nullptr;
        }
        index = *oldest;
        m_byKey.erase(KeyOf(m_sources[index].address, number));
        m_sources[index] = Source{};
    } else {
        m_sources.emplace_back();
        universe.sources.push_back(index);
    }
    ++m_structure;
    Source& source = m_sources[index];
    source.address = sender.address;
    source.addressText = net::AddressText(sender.address);
    source.universe = number;
    source.firstSeen = at;
    m_byKey.emplace(key, index);
    return &source;
}

void DmxMonitor::CountFrame(Source& source, Time at) {
    const std::int64_t slot = SlotOf(at);
    if (source.frames == 0 || slot - source.lastSlot >= kSlots) {
        source.slotFrames.fill(0);
    } else {
        for (std::int64_t stale = source.lastSlot + 1; stale <= slot; ++stale) {
            source.slotFrames[static_cast<std::size_t>(((stale % kSlots) + kSlots) % kSlots)] = 0;
        }
    }
    // A clock that went back keeps counting in the latest slot.
    source.lastSlot = std::max(slot, source.lastSlot);
    ++source.slotFrames[static_cast<std::size_t>(((source.lastSlot % kSlots) + kSlots) % kSlots)];
}

void DmxMonitor::TakeFrame(Source& source, const protocol::DmxDataView& frame, Time at) {
    const Universe& universe = m_universes[static_cast<std::size_t>(source.universe - 1)];
    const bool conflictBefore = universe.Conflict(m_sources);
    const bool first = source.frames == 0;
    const bool found = first || source.state == SourceState::Lost;
    if (!first) {
        const Duration gap = at - source.lastSeen;
        if (source.frames == 1 || gap < source.shortestGap) source.shortestGap = gap;
        if (gap > source.longestGap) source.longestGap = gap;
    }
    CountFrame(source, at);

    m_changes.clear();
    // Most frames repeat the last: one comparison settles them.
    const bool repeated = !first && frame.channelCount == source.channelCount &&
                          std::equal(frame.data.begin(), frame.data.end(), source.levels.begin());
    for (std::size_t i = 0; i < frame.channelCount && !repeated; ++i) {
        if (first || i >= source.channelCount || source.levels[i] != frame.data[i]) {
            m_changes.push_back({static_cast<std::uint16_t>(i + 1), frame.data[i]});
            source.changedAt[i] = at;
        }
    }
    const bool headerChanged = first || source.startCode != frame.startCode ||
                               source.dataType != frame.dataType ||
                               source.channelCount != frame.channelCount;
    if (!repeated) {
        std::copy(frame.data.begin(), frame.data.end(), source.levels.begin());
        std::fill(source.levels.begin() + frame.channelCount, source.levels.end(), std::uint8_t{0});
    }
    source.startCode = frame.startCode;
    source.dataType = frame.dataType;
    source.channelCount = frame.channelCount;
    if (found || headerChanged) ++m_structure;
    source.lastSeen = at;
    source.state = SourceState::Live;
    ++source.frames;
    ++m_generation;

    if (!m_listener) return;
    if (found) m_listener->SourceFound(source, at);
    if (!found && headerChanged) m_listener->HeaderChanged(source, at);
    if (!m_changes.empty() || headerChanged) m_listener->FrameChanged(source, m_changes, at);
    if (!conflictBefore && universe.Conflict(m_sources)) {
        m_listener->ConflictStarted(universe, at);
    }
}

void DmxMonitor::Expire(Time now) {
    for (Source& source : m_sources) {
        if (!Counts(source) || now - source.lastSeen < kLostAfter) continue;
        source.state = SourceState::Lost;
        ++m_generation;
        ++m_structure;
        if (m_listener) m_listener->SourceLost(source, now);
    }
}

const Universe* DmxMonitor::FindUniverse(int number) const {
    if (number < 1 || number > kUniverses) return nullptr;
    const Universe& universe = m_universes[static_cast<std::size_t>(number - 1)];
    return universe.sources.empty() ? nullptr : &universe;
}

std::vector<int> DmxMonitor::UniverseNumbers() const {
    std::vector<int> numbers;
    for (const Universe& universe : m_universes) {
        if (!universe.sources.empty()) numbers.push_back(universe.number);
    }
    return numbers;
}

std::uint64_t DmxMonitor::RefusedSources() const {
    std::uint64_t refused = 0;
    for (const Universe& universe : m_universes) refused += universe.refusedSources;
    return refused;
}

void DmxMonitor::Clear() {
    m_sources.clear();
    m_universes = {};
    NumberUniverses();
    m_byKey.clear();
    m_frames = m_malformed = 0;
    ++m_generation;
    ++m_structure;
}

}  // namespace monitor
