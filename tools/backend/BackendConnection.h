// One connection of a listener, from accept to close: reads each request head,
// refuses what cannot be served before reading a body (a malformed head or
// Content-Length: 400; a body over the limit: 413, and the connection closes),
// hands the rest to the request handler, and keeps the connection alive between
// requests. The watchdog bounds the wait for each request; a reply to a reader
// that stops reading fails after the send timeout.
//
// BackendConnectionFactory makes one per accepted connection for the listener's
// server.
// Thread-safety: a connection runs on one worker thread of its listener's pool;
// the factory is called from that pool too and only reads its members.
#pragma once

#include <Poco/Net/HTTPServerParams.h>
#include <Poco/Net/HTTPServerSession.h>
#include <Poco/Net/TCPServerConnection.h>
#include <Poco/Net/TCPServerConnectionFactory.h>

#include "backend/BackendOptions.h"
#include "backend/BackendRequestHandler.h"
#include "backend/ConnectionWatchdog.h"

namespace VantisClient {
namespace Backend {

class BackendConnection : public Poco::Net::TCPServerConnection {
public:
    BackendConnection(const Poco::Net::StreamSocket& socket, const Poco::Net::HTTPServerParams::Ptr& params,
                      const BackendRequestHandler& handler, ConnectionWatchdog& watchdog,
                      const BackendOptions& options);

    void run() override;

    // What the listener's server needs for connections with these options.
    static Poco::Net::HTTPServerParams::Ptr Params(const BackendOptions& options);

private:
    // Serves one request; false when the connection must end.
    bool serve(Poco::Net::HTTPServerSession& session, int handle);
    // Answers with an error and no keep-alive, on a response of its own.
    static void refuse(Poco::Net::HTTPServerSession& session, int status, const std::string& description);

    Poco::Net::HTTPServerParams::Ptr m_params;
    const BackendRequestHandler& m_handler;
    ConnectionWatchdog& m_watchdog;
    const BackendOptions& m_options;
};

class BackendConnectionFactory : public Poco::Net::TCPServerConnectionFactory {
public:
    // The handler, watchdog and options must outlive the server that owns the
    // factory; `params` come from BackendConnection::Params and go to the server too.
    BackendConnectionFactory(const BackendRequestHandler& handler, ConnectionWatchdog& watchdog,
                             const BackendOptions& options, const Poco::Net::HTTPServerParams::Ptr& params);

    Poco::Net::TCPServerConnection* createConnection(const Poco::Net::StreamSocket& socket) override;

private:
    const Poco::Net::HTTPServerParams::Ptr m_params;
    const BackendRequestHandler& m_handler;
    ConnectionWatchdog& m_watchdog;
    const BackendOptions& m_options;
};

}  // namespace Backend
}  // namespace VantisClient
