// The speed of a download from its running byte count: the bytes gained over
// the last few seconds of reports, so that one slow or fast moment does not
// swing the time the card says is left.
// Thread-safety: none; one thread reports and reads (the controller's drain
// thread for the card).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <utility>

namespace VantisClient {

class TransferRate {
public:
    using Clock = std::chrono::steady_clock;

    // `bytesDone` at `at`. A count below the last one starts a new download.
    void add(uint64_t bytesDone, Clock::time_point at);
    void reset() { m_samples.clear(); }
    // 0 until two reports lie apart in time.
    uint64_t bytesPerSecond() const;

private:
    std::deque<std::pair<Clock::time_point, uint64_t>> m_samples;
};

}  // namespace VantisClient
