#include "testing/FrameTiming.h"

#include <algorithm>

namespace testing_support {

FrameTiming TimeFrames(const std::vector<std::int64_t>& arrivalsNs, double periodNs) {
    FrameTiming timing;
    timing.frames = arrivalsNs.size();
    if (arrivalsNs.size() < 2) return timing;
    std::vector<double> intervals;
    for (std::size_t i = 1; i < arrivalsNs.size(); ++i) {
        intervals.push_back(static_cast<double>(arrivalsNs[i] - arrivalsNs[i - 1]) / 1e6);
    }
    timing.longestIntervalMs = *std::max_element(intervals.begin(), intervals.end());
    std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2, intervals.end());
    timing.medianIntervalMs = intervals[intervals.size() / 2];
    // Each frame's offset from its own deadline; the earliest is the schedule's start.
    std::vector<double> offsets;
    for (std::size_t i = 0; i < arrivalsNs.size(); ++i) {
        offsets.push_back(static_cast<double>(arrivalsNs[i] - arrivalsNs[0]) -
                          static_cast<double>(i) * periodNs);
    }
    const auto [earliest, latest] = std::minmax_element(offsets.begin(), offsets.end());
    timing.latestMs = (*latest - *earliest) / 1e6;
    return timing;
}

}  // namespace testing_support
