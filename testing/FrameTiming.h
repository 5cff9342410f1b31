// How evenly frames meant for a fixed period arrived, from their kernel receive stamps: the
// tests' verdict and the performance row take the same figures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

struct FrameTiming {
    std::size_t frames = 0;
    double medianIntervalMs = 0;
    double longestIntervalMs = 0;
    // How far the latest frame fell behind its deadline, counted from the schedule that fits
    // the earliest frame: it grows with any drift, where intervals would not show it.
    double latestMs = 0;
};

// arrivalsNs: one stamp per frame, the n-th meant for n periods after the first.
FrameTiming TimeFrames(const std::vector<std::int64_t>& arrivalsNs, double periodNs);

}  // namespace testing_support
