// Test patterns for finding a fixture: one channel on, a blink, a chase over a range of channels
// and a ramp of the whole range, as the DMX data messages that carry them. No Qt: the window and
// praveltest-cli drive the same player with their own clocks.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/NodeProtocol.h"

namespace pattern {

// Time since a clock's own start; every deadline is one of these, never a sleep's length.
using Duration = std::chrono::nanoseconds;

enum class Kind { Check, Chase, Ramp };
// How a chase passes from one channel to the next: a cut, a linear cross-fade or an eased one.
enum class Shape { Snap, Ramp, Sine };

inline constexpr double kMinChaseRate = 0.5;
inline constexpr double kMaxChaseRate = 44.0;
inline constexpr double kMinRefreshRate = 0.1;
inline constexpr double kMaxRefreshRate = 44.0;
inline constexpr double kMinRampPeriod = 0.1;
inline constexpr double kMaxRampPeriod = 3600.0;
// How often a fade (a gliding chase, the ramp) is sampled: DMX512's full-universe rate.
inline constexpr double kFadeFrameRate = 44.0;
// Half a second on, half a second off.
inline constexpr Duration kBlinkHalfPeriod = std::chrono::milliseconds(500);

struct Settings {
    int universe = 1;   // 1 to 256
    int startCode = 0;  // 0 to 255
    std::uint8_t dataType = static_cast<std::uint8_t>(protocol::DmxDataType::Raw);
    int first = 1;  // the range, 1 <= first <= last <= 512
    int last = 1;
    std::uint8_t level = 255;
    std::uint8_t others = 0;  // the rest of the range; channels below it stay at 0
    Kind kind = Kind::Check;
    Shape shape = Shape::Snap;
    bool blink = false;    // check: the channel on and off at 1 Hz
    double rate = 1.0;     // chase: channels a second, kMinChaseRate to kMaxChaseRate
    double period = 2.0;   // ramp: seconds from 0 up to the level and back
    double refresh = 1.0;  // an unchanged frame goes out again this many times a second
};

// One line that says what is out of range, or empty when the settings can be played.
std::string Validate(const Settings& settings);

using Levels = std::array<std::uint8_t, protocol::kMaxChannels>;

// The levels of channels 1 to 512 (index 0 is channel 1). For a check, channel is the one on
// and elapsed the time since it was chosen (its blink starts on); for a chase or the ramp,
// elapsed is the time since the start. A fade is taken at the last sample at or before elapsed,
// so that equal sample times give equal bytes whenever they are asked for.
Levels LevelsAt(const Settings& settings, int channel, Duration elapsed);
// The chase's channel on at elapsed: for a fade, the one nearer full.
int ChaseChannelAt(const Settings& settings, Duration elapsed);

// The DMX data message of the levels of channels 1 to channelCount, laid out as
// protocol::BuildDmxData lays out the window's.
std::vector<std::uint8_t> BuildFrame(const Settings& settings, const Levels& levels,
                                     int channelCount);

// Plays a pattern against a clock: Tick(now) says what to send now, NextDue() when to ask again.
// A frame equal to the last one sent is not sent again until a refresh is due, since a node may
// expect its data again. Deadlines are multiples of the step from the start, so they never drift.
class Player {
public:
    // Starts at now, with the check on the range's first channel.
    Player(const Settings& settings, Duration now);

    // The frame to send at now, or nothing. Times never go back.
    std::optional<std::vector<std::uint8_t>> Tick(Duration now);
    // The earliest time at which Tick may have something new: a step, a blink, a fade's next
    // sample or a refresh. Duration::max() when nothing will ever be due.
    Duration NextDue() const;

    // The channel on at now; 0 for the ramp, where the whole range moves.
    int ChannelAt(Duration now) const;
    // Check: the channel on. Next and Previous stop at the range's ends; true when it moved.
    bool Next(Duration now);
    bool Previous(Duration now);
    void Select(int channel, Duration now);
    void SetBlink(bool on, Duration now);

    // Every channel this player may have set (1 to the range's last), at 0.
    std::vector<std::uint8_t> ZeroFrame() const;
    const Settings& GetSettings() const { return m_settings; }

private:
    // Where the pattern's own steps count from: the start, or when a blinking channel was chosen.
    Duration Origin() const;

    Settings m_settings;
    Duration m_start;
    int m_channel;
    Duration m_channelChosen;
    std::vector<std::uint8_t> m_lastFrame;
    Duration m_lastSent{};
    Duration m_lastTicked{};
    bool m_changed = false;  // chosen since the last tick
};

}  // namespace pattern
