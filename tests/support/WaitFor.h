// Bounded polling for something a test can observe, instead of fixed sleeps.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace VantisTest {

// True as soon as `condition` holds; false when `timeoutMs` passes first.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace VantisTest
