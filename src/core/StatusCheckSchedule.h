// When the next backend status check runs. A status is shown to the user
// until the next check: after a success the backend is asked again after the
// normal period, but after a failure within seconds, waiting twice as long
// after each further failure, up to a cap, so that a backend that comes back
// is seen soon and one that stays away is not asked in a tight loop.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include <atomic>

namespace VantisClient {

class StatusCheckSchedule {
public:
    static constexpr long NORMAL_PERIOD_MS = 600000;
    static constexpr long LONGEST_RETRY_MS = 60000;

    // The first retry comes `firstRetryMs` after a failure (the longest retry
    // when it is longer).
    explicit StatusCheckSchedule(long firstRetryMs);

    // The wait before the next check after `failures` failed checks in a row.
    long delayAfter(unsigned failures) const;

    // Each returns the wait before the next check.
    long recordSuccess();
    long recordFailure();
    unsigned failures() const { return m_failures; }

private:
    const long m_firstRetryMs;
    std::atomic<unsigned> m_failures{0};
};

}  // namespace VantisClient
