#include "common/VantisMutex.h"

namespace VantisClient {

bool VantisMutex::lock() {
    m_mutex.lock();
    return true;
}

bool VantisMutex::unlock() {
    m_mutex.unlock();
    return true;
}

bool VantisMutex::tryLock() { return m_mutex.try_lock(); }

}  // namespace VantisClient
