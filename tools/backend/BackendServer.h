// The local store backend: one HTTPS listener (auth, users, products, config and
// content) and one plain HTTP listener (game cards, problem reports, control),
// both on 127.0.0.1 only. Ports 0 pick ephemeral ports; the chosen ones are
// known once start() returns.
// Thread-safety: start and stop from one thread; the listeners serve requests on
// their own thread pools.
#pragma once

#include <memory>
#include <string>

#include <Poco/Net/HTTPServer.h>
#include <Poco/ThreadPool.h>

#include "backend/ApiRoutes.h"
#include "backend/BackendContext.h"
#include "backend/BackendOptions.h"
#include "backend/WebRoutes.h"

namespace VantisClient {
namespace Backend {

class BackendServer {
public:
    static const int MAX_THREADS = 32;

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

private:
    bool load(std::string& error);

    BackendContext m_context;
    ApiRoutes m_apiRoutes;
    WebRoutes m_webRoutes;
    Poco::ThreadPool m_apiThreads;
    Poco::ThreadPool m_webThreads;
    std::unique_ptr<Poco::Net::HTTPServer> m_api;
    std::unique_ptr<Poco::Net::HTTPServer> m_web;
    bool m_sslInitialized = false;
};

}  // namespace Backend
}  // namespace VantisClient
