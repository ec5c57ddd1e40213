#include "common/ScopedLock.h"

namespace VantisClient {

ScopedLock::ScopedLock(VantisMutex& mutex) : m_mutex(mutex) { m_mutex.lock(); }

ScopedLock::~ScopedLock() { m_mutex.unlock(); }

}  // namespace VantisClient
