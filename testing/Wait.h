// Waiting for a condition with an upper bound, never for a fixed time: a wait ends as soon as
// what it waits for has happened.
#pragma once

#include <chrono>
#include <functional>

namespace testing_support {

// True once done() holds, false when limit passed first. done() is asked at least once;
// between asks pause() runs, a 5 ms sleep when none is given: what lets the awaited thing
// happen (running an event loop, ticking a window) goes there.
bool WaitUntil(std::chrono::milliseconds limit, const std::function<bool()>& done,
               const std::function<void()>& pause = {});

}  // namespace testing_support
