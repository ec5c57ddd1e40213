#include "net/SyncRequestAuthListener.h"

#include "common/ScopedLock.h"
#include "net/HttpManager.h"

namespace VantisClient {

void SyncRequestAuthListener::OnAuthSuccess() {
    HttpManager* manager = HttpManager::Instance();
    if (manager == nullptr) return finish(FAILED);
    {
        ScopedLock lock(m_mutex);
        m_refreshToken = manager->getRefreshToken();
        m_userId = manager->getUserId();
    }
    finish(SUCCEEDED);
}

void SyncRequestAuthListener::OnAuthFailure() { finish(FAILED); }

void SyncRequestAuthListener::finish(int result) {
    {
        ScopedLock lock(m_mutex);
        if (m_result != WAITING) return;
        m_result = result;
    }
    m_done.set();
}

int SyncRequestAuthListener::waitForResult(long milliseconds) {
    m_done.tryWait(milliseconds);
    ScopedLock lock(m_mutex);
    if (m_result != WAITING) m_done.set();
    return m_result;
}

std::string SyncRequestAuthListener::refreshToken() {
    ScopedLock lock(m_mutex);
    return m_refreshToken;
}

uint64_t SyncRequestAuthListener::userId() {
    ScopedLock lock(m_mutex);
    return m_userId;
}

}  // namespace VantisClient
