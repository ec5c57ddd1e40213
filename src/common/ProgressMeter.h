// Turns a stream of (time, bytes done, total) samples into a transfer speed and
// the time left, and writes sizes, speeds and durations for people. The speed
// is taken over the last few seconds, so one slow or fast moment does not make
// the estimate jump. The clock is injected so tests can move time by hand.
// Thread-safety: one thread at a time; the static formatters are stateless.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace VantisClient {

class ProgressMeter {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // How far back the speed looks.
    static const std::chrono::seconds SPEED_WINDOW;

    explicit ProgressMeter(Clock clock = std::chrono::steady_clock::now);

    // Records the progress at the clock's current time. Fewer bytes than the
    // last sample means the transfer started over: the history is dropped.
    void addSample(uint64_t bytesDone, uint64_t bytesTotal);
    void reset();

    // Bytes per second over the window; 0 until two samples are apart in time.
    double bytesPerSecond() const;
    // Whole seconds left at the current speed, rounded up; false when there is
    // no speed to go by.
    bool secondsLeft(uint64_t& seconds) const;

    // "75.0 MiB".
    static std::string FormatMiB(uint64_t bytes);
    // "2.5 MiB/s".
    static std::string FormatSpeed(double bytesPerSecond);
    // "m:ss", minutes not capped at 59: "0:07", "12:30", "75:00".
    static std::string FormatDuration(uint64_t seconds);

private:
    struct Sample {
        std::chrono::steady_clock::time_point time;
        uint64_t bytesDone;
    };

    void dropSamplesBefore(std::chrono::steady_clock::time_point start);

    Clock m_clock;
    // Oldest first; the first one may lie before the window so that samples
    // further apart than the window still give a speed.
    std::deque<Sample> m_samples;
    uint64_t m_bytesTotal = 0;
};

}  // namespace VantisClient
