// What the user chose to send, bound to the main window's fields.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/NodeProtocol.h"

namespace output {

// Declared in the order the main window holds them.
struct OutputSettings {
    int channelCount = 0;  // 1 to 512 once in use
    std::string levelText;
    int dataFormat = -1;  // index of the selected radio button, -1 for none
    int universe = 0;     // 1 to 256 once in use
    int startCode = 0;    // 0 to 255
};

inline constexpr int kMinUniverse = 1;
inline constexpr int kMaxUniverse = 256;
inline constexpr int kMinChannels = 1;
inline constexpr int kMaxChannels = 512;
inline constexpr int kMinStartCode = 0;
inline constexpr int kMaxStartCode = 255;

enum DataFormat : int { kRaw = 0, kRunLength = 1, kChannelValue = 2, kZeroInvalid = 3 };

void ClampSettings(OutputSettings& settings);
// The data-type byte for a radio index; none selected keeps the raw type.
std::uint8_t DataTypeByte(int dataFormat);
int LevelFromSliderPosition(int position);
// "%3d\t%3d%%": the level and its percentage, rounded down.
std::string FormatLevelText(int level);
// Clamps a copy of the settings and builds the message; returns its length.
std::size_t BuildLevelMessage(const OutputSettings& settings, std::uint8_t level,
                              protocol::DmxBuffer& buffer);

}  // namespace output
