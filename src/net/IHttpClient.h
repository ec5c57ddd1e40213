// The asynchronous HTTP client as its senders see it: hand over a request and
// a listener, return at once, hear the answer later on the thread that
// delivers answers.
// Thread-safety: SendRequest may be called from any thread.
#pragma once

#include <Poco/SharedPtr.h>

#include "net/HttpRequest.h"
#include "net/HttpResponse.h"

namespace VantisClient {
namespace Http {

class IHttpClient {
public:
    // Hears how one request ended, on the thread that delivers answers.
    class IResponseListener {
    public:
        virtual ~IResponseListener() = default;
        // Any status the server sent, 4xx and 5xx included.
        virtual void OnResponse(const HttpRequest& request, const HttpResponse& response) = 0;
        // The same answer, handed over by a client that is done with it: a
        // listener that keeps a large body may move it out instead of copying
        // it. Clients call this one; by default it is OnResponse.
        virtual void OnResponseHandover(const HttpRequest& request, HttpResponse& response) {
            OnResponse(request, response);
        }
        // The transfer itself failed: network, TLS, time-out or an oversized
        // answer, or the request names no host (a link that did not parse).
        virtual void OnError(const HttpRequest& request) = 0;
        // The request is moving: a worker has taken it, or bytes of the answer
        // arrived. Called on the worker's thread, often: it must be quick and
        // safe against the other callbacks.
        virtual void OnProgress() {}
    };

    virtual ~IHttpClient() = default;
    // Queues a copy of `request`; the caller's object receives the
    // "X-Schedule-Time" stamp too. The client keeps the listener until it has
    // been called.
    virtual void SendRequest(HttpRequest& request, Poco::SharedPtr<IResponseListener> listener) = 0;
};

}  // namespace Http
}  // namespace VantisClient
