#include "backend/BackendConnection.h"

#include <Poco/Exception.h>
#include <Poco/Net/HTTPServerRequestImpl.h>
#include <Poco/Net/HTTPServerResponseImpl.h>
#include <Poco/Net/NetException.h>
#include <Poco/Timestamp.h>

#include "backend/Reply.h"

namespace VantisClient {
namespace Backend {

namespace {

Poco::Timespan milliseconds(int value) {
    return Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(value) * 1000);
}

}  // namespace

BackendConnection::BackendConnection(const Poco::Net::StreamSocket& socket,
                                     const Poco::Net::HTTPServerParams::Ptr& params,
                                     const BackendRequestHandler& handler, ConnectionWatchdog& watchdog,
                                     const BackendOptions& options)
    : Poco::Net::TCPServerConnection(socket),
      m_params(params),
      m_handler(handler),
      m_watchdog(watchdog),
      m_options(options) {}

Poco::Net::HTTPServerParams::Ptr BackendConnection::Params(const BackendOptions& options) {
    Poco::Net::HTTPServerParams::Ptr params = new Poco::Net::HTTPServerParams;
    params->setKeepAlive(true);
    params->setMaxKeepAliveRequests(0);
    params->setMaxThreads(options.maxConnections);
    params->setMaxQueued(256);
    // The watchdog holds the real deadlines; these only keep single reads and
    // the wait between requests from outlasting them.
    params->setTimeout(milliseconds(options.headTimeoutMs));
    params->setKeepAliveTimeout(milliseconds(options.idleTimeoutMs));
    return params;
}

void BackendConnection::run() {
    Poco::Net::StreamSocket& connection = socket();
    const int handle = connection.impl()->sockfd();
    if (!m_watchdog.watch(handle, std::chrono::milliseconds(m_options.headTimeoutMs))) return;
    // Forgotten however run() ends, before the socket closes and its handle can be reused.
    struct Forget {
        ConnectionWatchdog& watchdog;
        int handle;
        ~Forget() { watchdog.forget(handle); }
    } forget{m_watchdog, handle};
    try {
        Poco::Net::HTTPServerSession session(connection, m_params);
        connection.setSendTimeout(milliseconds(m_options.sendTimeoutMs));
        while (session.hasMoreRequests() && serve(session, handle)) {
            m_watchdog.arm(handle, std::chrono::milliseconds(m_options.idleTimeoutMs));
        }
    } catch (const Poco::Exception&) {
        // The peer went away, a read or send timed out, or the watchdog closed
        // the connection: it ends here either way.
    }
}

bool BackendConnection::serve(Poco::Net::HTTPServerSession& session, int handle) {
    try {
        Poco::Net::HTTPServerResponseImpl response(session);
        Poco::Net::HTTPServerRequestImpl request(response, session, m_params.get());
        if (request.hasContentLength() && request.getContentLength64() < 0) {
            refuse(session, 400, "Content-Length must be a number of bytes");
            return false;
        }
        if (request.hasContentLength() &&
            static_cast<uint64_t>(request.getContentLength64()) > BackendRequestHandler::BODY_LIMIT) {
            refuse(session, 413, "request bodies are limited to " + std::to_string(BackendRequestHandler::BODY_LIMIT) +
                                     " bytes");
            return false;
        }
        response.setDate(Poco::Timestamp());
        response.setVersion(request.getVersion());
        response.setKeepAlive(m_params->getKeepAlive() && request.getKeepAlive() && session.canKeepAlive());
        if (request.getExpectContinue()) response.sendContinue();
        m_handler.handleRequest(request, response, [this, handle] { m_watchdog.disarm(handle); });
        session.setKeepAlive(m_params->getKeepAlive() && response.getKeepAlive() && session.canKeepAlive());
        return true;
    } catch (const Poco::Net::NoMessageException&) {
        return false;  // closed, or shut by the watchdog, before a request began
    } catch (const Poco::Net::MessageException&) {
        refuse(session, 400, "the request head is malformed");
        return false;
    } catch (const Poco::SyntaxException&) {
        // Content-Length that is not a number, or does not fit in 64 bits.
        refuse(session, 400, "Content-Length must be a number of bytes");
        return false;
    }
}

void BackendConnection::refuse(Poco::Net::HTTPServerSession& session, int status, const std::string& description) {
    const Reply reply = Reply::Error(status, status == 413 ? "too_large" : "invalid_request", description);
    try {
        Poco::Net::HTTPServerResponseImpl response(session);
        response.setVersion(Poco::Net::HTTPMessage::HTTP_1_1);
        response.setStatusAndReason(static_cast<Poco::Net::HTTPResponse::HTTPStatus>(status));
        response.setKeepAlive(false);
        response.setContentType(reply.contentType);
        response.sendBuffer(reply.body.data(), reply.body.size());
    } catch (const Poco::Exception&) {
        // The peer is gone; the connection closes either way.
    }
    session.setKeepAlive(false);
}

BackendConnectionFactory::BackendConnectionFactory(const BackendRequestHandler& handler, ConnectionWatchdog& watchdog,
                                                   const BackendOptions& options,
                                                   const Poco::Net::HTTPServerParams::Ptr& params)
    : m_params(params), m_handler(handler), m_watchdog(watchdog), m_options(options) {}

Poco::Net::TCPServerConnection* BackendConnectionFactory::createConnection(const Poco::Net::StreamSocket& socket) {
    return new BackendConnection(socket, m_params, m_handler, m_watchdog, m_options);
}

}  // namespace Backend
}  // namespace VantisClient
