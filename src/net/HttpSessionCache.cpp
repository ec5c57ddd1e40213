#include "net/HttpSessionCache.h"

#include <Poco/Net/SecureStreamSocket.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/NumberFormatter.h>
#include <Poco/Timespan.h>

#include "platform/ProgramStarter.h"

namespace VantisClient {
namespace Http {
namespace {

const uint16_t HTTP_PORT = 80;
const uint16_t HTTPS_PORT = 443;

}  // namespace

HttpSessionCache::HttpSessionCache(Poco::Net::Context::Ptr tlsContext) : m_tlsContext(tlsContext) {}

uint16_t HttpSessionCache::PortOf(const HttpRequest& request) {
    if (request.port != 0) return request.port;
    return request.protocol == HttpRequest::PROTOCOL_HTTPS ? HTTPS_PORT : HTTP_PORT;
}

Poco::Net::HTTPClientSession& HttpSessionCache::acquire(const HttpRequest& request, bool& reused,
                                                        const ConnectionObserver& connected) {
    const Poco::Timespan timeout(request.timeout, 0);
    Entry& entry = m_sessions[keyOf(request)];
    // Past its keep-alive time the server may have closed it: start afresh.
    if (entry.session && entry.lastUsed.elapsed() >= timeout.totalMicroseconds()) entry.session.reset();
    reused = entry.session != nullptr;
    if (!entry.session) entry.session = open(request, connected);
    entry.lastUsed.update();
    // Sending and every receive are bounded, so a server that accepts and
    // then stalls cannot hold the worker.
    entry.session->setTimeout(timeout, timeout, timeout);
    entry.session->setKeepAliveTimeout(timeout);
    return *entry.session;
}

void HttpSessionCache::release(const HttpRequest& request, bool keepOpen) {
    if (keepOpen) {
        m_sessions[keyOf(request)].lastUsed.update();
        return;
    }
    m_sessions.erase(keyOf(request));
}

std::string HttpSessionCache::keyOf(const HttpRequest& request) {
    return Poco::NumberFormatter::format(static_cast<int>(request.protocol)) + "://" + request.host + ":" +
           Poco::NumberFormatter::format(PortOf(request));
}

std::unique_ptr<Poco::Net::HTTPClientSession> HttpSessionCache::open(const HttpRequest& request,
                                                                     const ConnectionObserver& connected) const {
    const Poco::Timespan timeout(request.timeout, 0);
    Poco::Net::StreamSocket socket;
    socket.connect(Poco::Net::SocketAddress(request.host, PortOf(request)), timeout);
    socket.setSendTimeout(timeout);
    socket.setReceiveTimeout(timeout);
    ProgramStarter::KeepFromChildren(socket.impl()->sockfd());
    connected(socket.impl()->sockfd());
    // A plain session works over the TLS socket as well; the TLS session
    // class refuses to be made from a connected socket.
    std::unique_ptr<Poco::Net::HTTPClientSession> session(new Poco::Net::HTTPClientSession(
        request.protocol == HttpRequest::PROTOCOL_HTTPS
            ? Poco::Net::SecureStreamSocket::attach(socket, request.host, m_tlsContext)
            : socket));
    session->setKeepAlive(true);
    return session;
}

}  // namespace Http
}  // namespace VantisClient
