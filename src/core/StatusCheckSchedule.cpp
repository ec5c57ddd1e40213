#include "core/StatusCheckSchedule.h"

namespace VantisClient {

StatusCheckSchedule::StatusCheckSchedule(long firstRetryMs) : m_firstRetryMs(firstRetryMs > 0 ? firstRetryMs : 1) {}

long StatusCheckSchedule::delayAfter(unsigned failures) const {
    if (failures == 0) return NORMAL_PERIOD_MS;
    long delay = m_firstRetryMs;
    // Doubled one step at a time, so that no count of failures can overflow it.
    for (unsigned step = 1; step < failures && delay < LONGEST_RETRY_MS; ++step) delay *= 2;
    return delay < LONGEST_RETRY_MS ? delay : LONGEST_RETRY_MS;
}

long StatusCheckSchedule::recordSuccess() {
    m_failures = 0;
    return NORMAL_PERIOD_MS;
}

long StatusCheckSchedule::recordFailure() { return delayAfter(++m_failures); }

}  // namespace VantisClient
