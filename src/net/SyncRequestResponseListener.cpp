#include "net/SyncRequestResponseListener.h"

#include "common/ScopedLock.h"

namespace VantisClient {

void SyncRequestResponseListener::OnResponse(const Http::HttpRequest& request, const Http::HttpResponse& response) {
    {
        ScopedLock lock(m_mutex);
        if (m_result != WAITING) return;
        m_request = request;
        m_response = response;
        m_result = ANSWERED;
    }
    m_answered.set();
}

void SyncRequestResponseListener::OnError(const Http::HttpRequest& request) {
    {
        ScopedLock lock(m_mutex);
        if (m_result != WAITING) return;
        m_request = request;
        m_result = FAILED;
    }
    m_answered.set();
}

void SyncRequestResponseListener::OnProgress() { m_lastProgress = Poco::Timestamp().epochMicroseconds(); }

Poco::Timestamp SyncRequestResponseListener::lastProgress() const {
    return Poco::Timestamp(m_lastProgress.load());
}

int SyncRequestResponseListener::waitForResult(long milliseconds) {
    m_answered.tryWait(milliseconds);
    ScopedLock lock(m_mutex);
    if (m_result != WAITING) m_answered.set();  // later waits return at once too
    return m_result;
}

Http::HttpRequest SyncRequestResponseListener::request() {
    ScopedLock lock(m_mutex);
    return m_request;
}

Http::HttpResponse SyncRequestResponseListener::response() {
    ScopedLock lock(m_mutex);
    return m_response;
}

}  // namespace VantisClient
