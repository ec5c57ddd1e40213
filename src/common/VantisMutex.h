// The common library's only lock: a plain, non-recursive mutex.
// Thread-safety: every operation may be called from any thread.
#pragma once

#include <mutex>

namespace VantisClient {

class VantisMutex {
public:
    VantisMutex() = default;
    // A copy is a new, independent, unlocked mutex: objects holding one stay copyable.
    VantisMutex(const VantisMutex&) {}
    VantisMutex& operator=(const VantisMutex&) { return *this; }

    bool lock();
    bool unlock();
    // Returns false at once when another thread holds the mutex.
    bool tryLock();

private:
    std::mutex m_mutex;
};

}  // namespace VantisClient
