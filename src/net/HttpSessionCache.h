// The sessions one worker keeps open between requests, one per scheme, host
// and port, so that a run of requests to the same host pays for TCP and TLS
// set-up once. A session that failed, that the server will close or that sat
// idle past its keep-alive time is dropped. Connections are opened here, so
// that their socket is known before the TLS handshake: a stopping client can
// cut a stalled handshake short too.
// Thread-safety: owned and used by one worker thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Timestamp.h>

#include "net/HttpRequest.h"

namespace VantisClient {
namespace Http {

class HttpSessionCache {
public:
    // Hears the socket of each new connection as soon as it is connected.
    using ConnectionObserver = std::function<void(int socket)>;

    explicit HttpSessionCache(Poco::Net::Context::Ptr tlsContext);

    // A session for the request's scheme, host and port, with the request's
    // time-outs; `reused` tells whether it served an earlier request.
    Poco::Net::HTTPClientSession& acquire(const HttpRequest& request, bool& reused,
                                          const ConnectionObserver& connected);
    // Keeps the session of the request for the next one, or closes it.
    void release(const HttpRequest& request, bool keepOpen);
    // The port a request goes to: its own, else its scheme's.
    static uint16_t PortOf(const HttpRequest& request);

private:
    struct Entry {
        std::unique_ptr<Poco::Net::HTTPClientSession> session;
        Poco::Timestamp lastUsed;
    };

    static std::string keyOf(const HttpRequest& request);
    std::unique_ptr<Poco::Net::HTTPClientSession> open(const HttpRequest& request,
                                                       const ConnectionObserver& connected) const;

    Poco::Net::Context::Ptr m_tlsContext;
    std::map<std::string, Entry> m_sessions;
};

}  // namespace Http
}  // namespace VantisClient
