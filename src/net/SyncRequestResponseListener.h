// Holds the first answer to a blocking request until its waiting thread takes
// it. A resend racing the first answer cannot overwrite it.
// Thread-safety: the callbacks run on the delivering thread; the getters on
// the waiting thread; one lock guards both.
#pragma once

#include <Poco/Event.h>

#include "common/VantisMutex.h"
#include "net/IHttpClient.h"

namespace VantisClient {

class SyncRequestResponseListener : public Http::IHttpClient::IResponseListener {
public:
    enum Result { WAITING = 0, ANSWERED = 1, FAILED = 2 };

    void OnResponse(const Http::HttpRequest& request, const Http::HttpResponse& response) override;
    void OnError(const Http::HttpRequest& request) override;

    // WAITING until the first answer; waits at most `milliseconds` for it.
    int waitForResult(long milliseconds);
    Http::HttpRequest request();
    Http::HttpResponse response();

private:
    VantisMutex m_mutex;
    Poco::Event m_answered;
    int m_result = WAITING;
    Http::HttpRequest m_request;
    Http::HttpResponse m_response;
};

}  // namespace VantisClient
