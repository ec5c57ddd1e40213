// Holds a VantisMutex locked for the lifetime of the guard.
#pragma once

#include "common/VantisMutex.h"

namespace VantisClient {

class ScopedLock {
public:
    explicit ScopedLock(VantisMutex& mutex);
    ~ScopedLock();
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    VantisMutex& m_mutex;
};

}  // namespace VantisClient
