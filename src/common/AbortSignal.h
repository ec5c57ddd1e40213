// The stop request shared by a task and everything it starts: a counter that
// begins at 0; any value of 1 or more means "stop at the next check".
// Thread-safety: raise() and isRaised() may be called from any thread.
#pragma once

#include <atomic>
#include <cstdint>

#include <Poco/SharedPtr.h>

namespace VantisClient {

class AbortSignal {
public:
    using Ptr = Poco::SharedPtr<AbortSignal>;

    void raise() { ++m_value; }
    bool isRaised() const { return m_value.load() >= 1; }

private:
    std::atomic<int32_t> m_value{0};
};

}  // namespace VantisClient
