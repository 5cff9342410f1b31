#include "output/OutputSettings.h"

#include <algorithm>
#include <cstdio>

namespace output {

void ClampSettings(OutputSettings& settings) {
    settings.channelCount = std::clamp(settings.channelCount, kMinChannels, kMaxChannels);
    settings.universe = std::clamp(settings.universe, kMinUniverse, kMaxUniverse);
    settings.startCode = std::clamp(settings.startCode, kMinStartCode, kMaxStartCode);
}

std::uint8_t DataTypeByte(int dataFormat) {
    using protocol::DmxDataType;
    switch (dataFormat) {
        case kRunLength:
            return static_cast<std::uint8_t>(DmxDataType::RunLength);
        case kChannelValue:
            return static_cast<std::uint8_t>(DmxDataType::ChannelValue);
        case kZeroInvalid:
            return static_cast<std::uint8_t>(DmxDataType::Invalid);
        default:
            return static_cast<std::uint8_t>(DmxDataType::Raw);
    }
}

int LevelFromSliderPosition(int position) {
    return (255 - position) & 0xFF;
}

std::string FormatLevelText(int level) {
    char text[16];
    std::snprintf(text, sizeof text, "%3d\t%3d%%", level, level * 100 / 255);
    return text;
}

std::size_t BuildLevelMessage(const OutputSettings& settings, std::uint8_t level,
                              protocol::DmxBuffer& buffer) {
    OutputSettings clamped = settings;
    ClampSettings(clamped);
    protocol::DmxDataFields fields;
    fields.universe = clamped.universe;
    fields.startCode = clamped.startCode;
    fields.dataType = DataTypeByte(clamped.dataFormat);
    fields.channelCount = clamped.channelCount;
    fields.level = level;
    return protocol::BuildDmxData(fields, buffer);
}

}  // namespace output
