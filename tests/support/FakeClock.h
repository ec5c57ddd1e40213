// A steady clock that moves only when the test says so.
#pragma once

#include <chrono>
#include <functional>

namespace VantisTest {

class FakeClock {
public:
    // Seconds after the clock's start.
    void set(double seconds) {
        m_now = std::chrono::steady_clock::time_point() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
    }
    // Reads this clock for as long as it lives.
    std::function<std::chrono::steady_clock::time_point()> function() {
        return [this] { return m_now; };
    }

private:
    std::chrono::steady_clock::time_point m_now;
};

}  // namespace VantisTest
