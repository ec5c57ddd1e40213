// The local store backend: one HTTPS listener (auth, users, products, config and
// content) and one plain HTTP listener (game cards, problem reports, control),
// both on 127.0.0.1 only. Ports 0 pick ephemeral ports; the chosen ones are
// known once start() returns. A port that is already taken, by another backend
// or anything else, fails the start: listeners never share a port.
//
// Each listener serves up to BackendOptions::maxConnections connections at once
// on a pool that grows with demand; the connection watchdog closes those that
// keep a worker waiting for a request, so slow or idle peers cannot starve the rest.
// Thread-safety: start and stop from one thread; the listeners serve requests on
// their own thread pools.
#pragma once

#include <memory>
#include <string>

#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/TCPServer.h>
#include <Poco/ThreadPool.h>

#include "backend/ApiRoutes.h"
#include "backend/BackendContext.h"
#include "backend/BackendOptions.h"
#include "backend/BackendRequestHandler.h"
#include "backend/ConnectionWatchdog.h"
#include "backend/WebRoutes.h"

namespace VantisClient {
namespace Backend {

class BackendServer {
public:
    explicit BackendServer(const BackendOptions& options);
    ~BackendServer();
    BackendServer(const BackendServer&) = delete;
    BackendServer& operator=(const BackendServer&) = delete;

    // Loads accounts, catalogue and fault rules, binds both listeners and starts
    // them. False with a reason in `error`; nothing keeps running then.
    bool start(std::string& error);
    void stop();

    BackendContext& context() { return m_context; }
    int apiPort() const { return m_context.apiPort; }
    int webPort() const { return m_context.webPort; }
    const std::string& controlToken() const { return m_context.controlToken; }

private:
    bool load(std::string& error);
    // Binds `socket` to the port on 127.0.0.1 without sharing it and listens.
    static bool listen(Poco::Net::ServerSocket& socket, int port, std::string& error);
    std::unique_ptr<Poco::Net::TCPServer> serve(const BackendRequestHandler& handler, Poco::ThreadPool& threads,
                                                const Poco::Net::ServerSocket& socket);

    BackendContext m_context;
    ApiRoutes m_apiRoutes;
    WebRoutes m_webRoutes;
    BackendRequestHandler m_apiHandler;
    BackendRequestHandler m_webHandler;
    ConnectionWatchdog m_watchdog;
    Poco::ThreadPool m_apiThreads;
    Poco::ThreadPool m_webThreads;
    std::unique_ptr<Poco::Net::TCPServer> m_api;
    std::unique_ptr<Poco::Net::TCPServer> m_web;
    bool m_sslInitialized = false;
};

}  // namespace Backend
}  // namespace VantisClient
