// Waiting in a test for what another thread or process does, with a limit, so a test fails
// rather than hangs.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace ostervane::testing {

inline bool WaitUntil(const std::function<bool()> &condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace ostervane::testing
