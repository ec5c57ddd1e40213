// A download speed limit shared by every transfer that asks for it: a budget
// of bytes that refills at the limit's rate within a one-second window.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include <cstdint>

#include <Poco/Timestamp.h>

#include "common/VantisMutex.h"

namespace VantisClient {
namespace Http {

class SpeedBudget {
public:
    // Bytes per second; 0 is no limit.
    void setLimit(uint32_t bytesPerSecond);
    // How many of `bytes` may be transferred now: all of them without a
    // limit, else what the window's budget has left, possibly 0.
    uint32_t probe(uint32_t bytes);

private:
    VantisMutex m_mutex;
    uint32_t m_limit = 0;
    uint64_t m_granted = 0;
    Poco::Timestamp m_windowStart;
};

}  // namespace Http
}  // namespace VantisClient
