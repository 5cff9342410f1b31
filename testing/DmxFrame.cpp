#include "testing/DmxFrame.h"

#include <algorithm>

namespace testing_support {

std::vector<std::uint8_t> DmxFrame(int universe, const std::vector<std::uint8_t>& levels,
                                   std::uint8_t startCode, std::uint8_t dataType,
                                   int channelCount) {
    const int count = channelCount ? channelCount : static_cast<int>(levels.size());
    constexpr std::size_t kHeader = 9;
    std::vector<std::uint8_t> frame(kHeader + levels.size());
    const std::uint8_t header[kHeader]{'V',
                                       'X',
                                       'D',
                                       'D',
                                       static_cast<std::uint8_t>(universe - 1),
                                       startCode,
                                       dataType,
                                       static_cast<std::uint8_t>(count >> 8),
                                       static_cast<std::uint8_t>(count)};
    std::copy(std::begin(header), std::end(header), frame.begin());
    std::copy(levels.begin(), levels.end(), frame.begin() + kHeader);
    return frame;
}

}  // namespace testing_support
