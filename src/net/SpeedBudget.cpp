#include "net/SpeedBudget.h"

#include <algorithm>

#include "common/ScopedLock.h"

namespace VantisClient {
namespace Http {
namespace {

const Poco::Timestamp::TimeDiff WINDOW_MICROSECONDS = 1000000;

}  // namespace

void SpeedBudget::setLimit(uint32_t bytesPerSecond) {
    ScopedLock lock(m_mutex);
    m_limit = bytesPerSecond;
}

uint32_t SpeedBudget::probe(uint32_t bytes) {
    ScopedLock lock(m_mutex);
    if (m_limit == 0) return bytes;
    const Poco::Timestamp::TimeDiff elapsed = m_windowStart.elapsed();
    const uint64_t allowance = static_cast<uint64_t>(m_limit) * static_cast<uint64_t>(elapsed) / WINDOW_MICROSECONDS;
    uint32_t granted = 0;
    if (m_granted < allowance) {
        granted = static_cast<uint32_t>(std::min<uint64_t>(bytes, allowance - m_granted));
        m_granted += granted;
    }
    if (elapsed > WINDOW_MICROSECONDS) {
        m_granted = 0;
        m_windowStart.update();
    }
    return granted;
}

}  // namespace Http
}  // namespace VantisClient
