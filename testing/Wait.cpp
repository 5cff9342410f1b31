#include "testing/Wait.h"

#include <thread>

namespace testing_support {

bool WaitUntil(std::chrono::milliseconds limit, const std::function<bool()>& done,
               const std::function<void()>& pause) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (pause) {
            pause();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return true;
}

}  // namespace testing_support
