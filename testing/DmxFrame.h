// DMX data messages with chosen levels, as a console would send them, for the monitor's tests.
#pragma once

#include <cstdint>
#include <vector>

namespace testing_support {

// VXDD, universe - 1, the start code, the data type, the channel count high byte first, then
// the levels. channelCount, when not 0, is written instead of levels.size(): a malformed frame.
std::vector<std::uint8_t> DmxFrame(int universe, const std::vector<std::uint8_t>& levels,
                                   std::uint8_t startCode = 0, std::uint8_t dataType = 1,
                                   int channelCount = 0);

}  // namespace testing_support
