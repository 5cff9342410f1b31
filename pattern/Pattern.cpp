#include "pattern/Pattern.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace pattern {
namespace {

constexpr double kNsPerSecond = 1e9;

// The step's length in nanoseconds, 0 when the pattern never changes by itself.
double StepNs(const Settings& settings) {
    switch (settings.kind) {
        case Kind::Check:
            return settings.blink ? static_cast<double>(kBlinkHalfPeriod.count()) : 0.0;
        case Kind::Chase:
            return settings.shape == Shape::Snap ? kNsPerSecond / settings.rate
                                                 : kNsPerSecond / kFadeFrameRate;
        case Kind::Ramp:
            return kNsPerSecond / kFadeFrameRate;
    }
    return 0.0;
}

// Deadlines are each step's time from the origin, rounded once, so none carries an earlier one's
// rounding: over an hour a 44 Hz chase ends on the very nanosecond it should.
Duration StepTime(std::int64_t step, double stepNs) {
    return Duration(std::llround(static_cast<double>(step) * stepNs));
}

// The last step whose time is at or before sinceOrigin, by the same rounding as StepTime.
std::int64_t StepsAt(Duration sinceOrigin, double stepNs) {
    if (stepNs <= 0.0 || sinceOrigin.count() < 0) return 0;
    auto step =
        static_cast<std::int64_t>(std::floor(static_cast<double>(sinceOrigin.count()) / stepNs));
    while (StepTime(step + 1, stepNs) <= sinceOrigin) ++step;
    while (step > 0 && StepTime(step, stepNs) > sinceOrigin) --step;
    return step;
}

std::uint8_t Mix(const Settings& settings, double weight) {
    const double level = settings.others + (settings.level - settings.others) * weight;
    return static_cast<std::uint8_t>(std::clamp(std::lround(level), 0L, 255L));
}

int RangeLength(const Settings& settings) {
    return settings.last - settings.first + 1;
}

// Where a gliding chase's head is, in channels from the range's first, at the sample at or
// before elapsed.
double HeadAt(const Settings& settings, Duration elapsed) {
    const double stepNs = StepNs(settings);
    const double seconds =
        static_cast<double>(StepTime(StepsAt(elapsed, stepNs), stepNs).count()) / kNsPerSecond;
    return std::fmod(seconds * settings.rate, RangeLength(settings));
}

}  // namespace

std::string Validate(const Settings& s) {
    const auto outside = [](double value, double low, double high) {
        return !(value >= low && value <= high);  // NaN too
    };
    if (s.universe < 1 || s.universe > 256) return "the universe must be 1 to 256";
    if (s.startCode < 0 || s.startCode > 255) return "the start code must be 0 to 255";
    if (s.first < 1 || s.last > static_cast<int>(protocol::kMaxChannels) || s.first > s.last) {
        return "the channels must be FIRST-LAST with 1 <= FIRST <= LAST <= 512";
    }
    if (s.kind == Kind::Chase && outside(s.rate, kMinChaseRate, kMaxChaseRate)) {
        return "the chase rate must be 0.5 to 44 steps a second";
    }
    if (s.kind == Kind::Ramp && outside(s.period, kMinRampPeriod, kMaxRampPeriod)) {
        return "the ramp period must be 0.1 to 3600 seconds";
    }
    if (outside(s.refresh, kMinRefreshRate, kMaxRefreshRate)) {
        return "the refresh rate must be 0.1 to 44 a second";
    }
    return {};
}

int ChaseChannelAt(const Settings& settings, Duration elapsed) {
    const int length = RangeLength(settings);
    if (settings.shape == Shape::Snap) {
        const std::int64_t step = StepsAt(elapsed, StepNs(settings));
        return settings.first + static_cast<int>(step % length);
    }
    const double head = HeadAt(settings, elapsed);
    const int nearer = static_cast<int>(std::floor(head + 0.5)) % length;
    return settings.first + nearer;
}

Levels LevelsAt(const Settings& settings, int channel, Duration elapsed) {
    Levels levels{};
    const auto at = [&](int ch) -> std::uint8_t& {
        return levels[static_cast<std::size_t>(ch - 1)];
    };
    for (int ch = settings.first; ch <= settings.last; ++ch) at(ch) = settings.others;
    switch (settings.kind) {
        case Kind::Check: {
            const bool off = settings.blink && StepsAt(elapsed, StepNs(settings)) % 2 == 1;
            at(channel) = off ? settings.others : settings.level;
            break;
        }
        case Kind::Chase: {
            if (settings.shape == Shape::Snap || RangeLength(settings) == 1) {
                at(ChaseChannelAt(settings, elapsed)) = settings.level;
                break;
            }
            const double head = HeadAt(settings, elapsed);
            const int from = static_cast<int>(std::floor(head));
            const double past = head - from;
            // The share still on the channel the head is leaving.
            const double leaving = settings.shape == Shape::Ramp
                                       ? 1.0 - past
                                       : (1.0 + std::cos(std::numbers::pi * past)) / 2.0;
            at(settings.first + from) = Mix(settings, leaving);
            at(settings.first + (from + 1) % RangeLength(settings)) = Mix(settings, 1.0 - leaving);
            break;
        }
        case Kind::Ramp: {
            const double stepNs = StepNs(settings);
            const double seconds =
                static_cast<double>(StepTime(StepsAt(elapsed, stepNs), stepNs).count()) /
                kNsPerSecond;
            const double phase = std::fmod(seconds, settings.period) / settings.period;
            const double up = phase < 0.5 ? 2.0 * phase : 2.0 * (1.0 - phase);
            const auto level =
                static_cast<std::uint8_t>(std::clamp(std::lround(settings.level * up), 0L, 255L));
            for (int ch = settings.first; ch <= settings.last; ++ch) at(ch) = level;
            break;
        }
    }
    return levels;
}

std::vector<std::uint8_t> BuildFrame(const Settings& settings, const Levels& levels,
                                     int channelCount) {
    protocol::DmxBuffer buffer;
    const protocol::DmxDataFields fields{.universe = settings.universe,
                                         .startCode = settings.startCode,
                                         .dataType = settings.dataType,
                                         .channelCount = channelCount,
                                         .level = 0};
    const std::size_t length = protocol::BuildDmxData(fields, buffer);
    const std::size_t channels = length - protocol::kDmxHeaderLength - 1;
    std::copy_n(levels.begin(), channels, buffer.begin() + protocol::kDmxHeaderLength);
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length)};
}

Player::Player(const Settings& settings, Duration now)
    : m_settings(settings), m_start(now), m_channel(settings.first), m_channelChosen(now) {}

Duration Player::Origin() const {
    return m_settings.kind == Kind::Check ? m_channelChosen : m_start;
}

std::optional<std::vector<std::uint8_t>> Player::Tick(Duration now) {
    std::vector<std::uint8_t> frame =
        BuildFrame(m_settings, LevelsAt(m_settings, m_channel, now - Origin()), m_settings.last);
    const bool refreshDue =
        !m_lastFrame.empty() &&
        now - m_lastSent >= Duration(std::llround(kNsPerSecond / m_settings.refresh));
    m_lastTicked = now;
    m_changed = false;
    if (frame == m_lastFrame && !refreshDue) return std::nullopt;
    m_lastFrame = frame;
    m_lastSent = now;
    return frame;
}

Duration Player::NextDue() const {
    if (m_lastFrame.empty() || m_changed) return std::max(Origin(), m_lastTicked);
    Duration due = m_lastSent + Duration(std::llround(kNsPerSecond / m_settings.refresh));
    const double stepNs = StepNs(m_settings);
    if (stepNs > 0.0) {
        const Duration since = m_lastTicked - Origin();
        due = std::min(due, Origin() + StepTime(StepsAt(since, stepNs) + 1, stepNs));
    }
    return due;
}

int Player::ChannelAt(Duration now) const {
    switch (m_settings.kind) {
        case Kind::Check:
            return m_channel;
        case Kind::Chase:
            return ChaseChannelAt(m_settings, now - m_start);
        case Kind::Ramp:
            return 0;
    }
    return 0;
}

bool Player::Next(Duration now) {
    if (m_channel >= m_settings.last) return false;
    Select(m_channel + 1, now);
    return true;
}

bool Player::Previous(Duration now) {
    if (m_channel <= m_settings.first) return false;
    Select(m_channel - 1, now);
    return true;
}

void Player::Select(int channel, Duration now) {
    m_channel = std::clamp(channel, m_settings.first, m_settings.last);
    m_channelChosen = now;
    m_changed = true;
}

void Player::SetBlink(bool on, Duration now) {
    m_settings.blink = on;
    m_channelChosen = now;
    m_changed = true;
}

std::vector<std::uint8_t> Player::ZeroFrame() const {
    return BuildFrame(m_settings, Levels{}, m_settings.last);
}

}  // namespace pattern
