#include "net/HttpSessionCache.h"

#include <Poco/Net/HTTPSClientSession.h>
#include <Poco/NumberFormatter.h>
#include <Poco/Timespan.h>

namespace VantisClient {
namespace Http {
namespace {

const uint16_t HTTP_PORT = 80;
const uint16_t HTTPS_PORT = 443;

uint16_t portOf(const HttpRequest& request) {
    if (request.port != 0) return request.port;
    return request.protocol == HttpRequest::PROTOCOL_HTTPS ? HTTPS_PORT : HTTP_PORT;
}

}  // namespace

HttpSessionCache::HttpSessionCache(Poco::Net::Context::Ptr tlsContext) : m_tlsContext(tlsContext) {}

Poco::Net::HTTPClientSession& HttpSessionCache::acquire(const HttpRequest& request, bool& reused) {
    std::unique_ptr<Poco::Net::HTTPClientSession>& session = m_sessions[keyOf(request)];
    reused = session != nullptr;
    if (!session) session = open(request);
    const Poco::Timespan timeout(request.timeout, 0);
    // Connecting, sending and every receive are bounded, so a server that
    // accepts and then stalls cannot hold the worker.
    session->setTimeout(timeout, timeout, timeout);
    session->setKeepAliveTimeout(timeout);
    return *session;
}

void HttpSessionCache::release(const HttpRequest& request, bool keepOpen) {
    if (keepOpen) return;
    m_sessions.erase(keyOf(request));
}

std::string HttpSessionCache::keyOf(const HttpRequest& request) {
    return Poco::NumberFormatter::format(static_cast<int>(request.protocol)) + "://" + request.host + ":" +
           Poco::NumberFormatter::format(portOf(request));
}

std::unique_ptr<Poco::Net::HTTPClientSession> HttpSessionCache::open(const HttpRequest& request) const {
    std::unique_ptr<Poco::Net::HTTPClientSession> session;
    if (request.protocol == HttpRequest::PROTOCOL_HTTPS) {
        session.reset(new Poco::Net::HTTPSClientSession(request.host, portOf(request), m_tlsContext));
    } else {
        session.reset(new Poco::Net::HTTPClientSession(request.host, portOf(request)));
    }
    session->setKeepAlive(true);
    return session;
}

}  // namespace Http
}  // namespace VantisClient
