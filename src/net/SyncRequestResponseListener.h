// Holds the first answer to a blocking request until its waiting thread takes
// it. A resend racing the first answer cannot overwrite it.
// Thread-safety: the callbacks run on the delivering thread, OnProgress on
// workers; the getters on the waiting thread; one lock guards the answer.
#pragma once

#include <atomic>

#include <Poco/Event.h>
#include <Poco/Timestamp.h>

#include "common/VantisMutex.h"
#include "net/IHttpClient.h"

namespace VantisClient {

class SyncRequestResponseListener : public Http::IHttpClient::IResponseListener {
public:
    enum Result { WAITING = 0, ANSWERED = 1, FAILED = 2 };

    void OnResponse(const Http::HttpRequest& request, const Http::HttpResponse& response) override;
    void OnError(const Http::HttpRequest& request) override;
    void OnProgress() override;

    // WAITING until the first answer; waits at most `milliseconds` for it.
    int waitForResult(long milliseconds);
    Http::HttpRequest request();
    Http::HttpResponse response();
    // When an attempt last moved (see OnProgress); 0 before any did.
    Poco::Timestamp lastProgress() const;

private:
    std::atomic<Poco::Timestamp::TimeVal> m_lastProgress{0};
    VantisMutex m_mutex;
    Poco::Event m_answered;
    int m_result = WAITING;
    Http::HttpRequest m_request;
    Http::HttpResponse m_response;
};

}  // namespace VantisClient
