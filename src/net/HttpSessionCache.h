// The sessions one worker keeps open between requests, one per scheme, host
// and port, so that a run of requests to the same host pays for TCP and TLS
// set-up once. A session that failed or that the server will close is dropped.
// Thread-safety: owned and used by one worker thread.
#pragma once

#include <map>
#include <memory>
#include <string>

#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPClientSession.h>

#include "net/HttpRequest.h"

namespace VantisClient {
namespace Http {

class HttpSessionCache {
public:
    explicit HttpSessionCache(Poco::Net::Context::Ptr tlsContext);

    // A session for the request's scheme, host and port, with the request's
    // time-outs; `reused` tells whether it served an earlier request.
    Poco::Net::HTTPClientSession& acquire(const HttpRequest& request, bool& reused);
    // Keeps the session of the request for the next one, or closes it.
    void release(const HttpRequest& request, bool keepOpen);

private:
    static std::string keyOf(const HttpRequest& request);
    std::unique_ptr<Poco::Net::HTTPClientSession> open(const HttpRequest& request) const;

    Poco::Net::Context::Ptr m_tlsContext;
    std::map<std::string, std::unique_ptr<Poco::Net::HTTPClientSession>> m_sessions;
};

}  // namespace Http
}  // namespace VantisClient
