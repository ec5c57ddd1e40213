#include "backend/BackendServer.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

#include <Poco/Exception.h>
#include <Poco/Net/Context.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SSLManager.h>
#include <Poco/Net/SecureServerSocket.h>

#include "backend/BackendConnection.h"

namespace VantisClient {
namespace Backend {

namespace {

const char* const LOOPBACK = "127.0.0.1";
const int BACKLOG = 64;

}  // namespace

BackendServer::BackendServer(const BackendOptions& options)
    : m_context(options),
      m_apiRoutes(m_context),
      m_webRoutes(m_context),
      m_apiHandler(m_context, "api", [this](const IncomingRequest& request) { return m_apiRoutes.handle(request); }),
      m_webHandler(m_context, "web", [this](const IncomingRequest& request) { return m_webRoutes.handle(request); }),
      m_apiThreads(std::min(2, options.maxConnections), options.maxConnections),
      m_webThreads(std::min(2, options.maxConnections), options.maxConnections) {}

BackendServer::~BackendServer() {
    stop();
}

bool BackendServer::load(std::string& error) {
    if (!m_context.accounts.load(m_context.options.accounts, error)) return false;
    if (!m_context.catalogue.load(m_context.options.catalogue, error)) return false;
    if (m_context.options.faultsFile.empty()) return true;
    std::ifstream input(m_context.options.faultsFile);
    if (!input) {
        error = "cannot read " + m_context.options.faultsFile;
        return false;
    }
    std::ostringstream rules;
    rules << input.rdbuf();
    if (m_context.faults.addRules(rules.str(), error)) return true;
    error = m_context.options.faultsFile + ": " + error;
    return false;
}

bool BackendServer::listen(Poco::Net::ServerSocket& socket, int port, std::string& error) {
    const Poco::Net::SocketAddress address(LOOPBACK, static_cast<Poco::UInt16>(port));
    try {
        // Address reuse lets a restarted backend bind while old connections
        // linger; port reuse would let two processes listen on one port.
        socket.bind(address, true, false);
        socket.listen(BACKLOG);
        return true;
    } catch (const Poco::Net::NetException& exception) {
        error = "cannot listen on " + address.toString() +
                (exception.code() == EADDRINUSE ? ": the port is already in use" : ": " + exception.message());
        return false;
    }
}

std::unique_ptr<Poco::Net::TCPServer> BackendServer::serve(const BackendRequestHandler& handler,
                                                          Poco::ThreadPool& threads,
                                                          const Poco::Net::ServerSocket& socket) {
    Poco::Net::HTTPServerParams::Ptr params = BackendConnection::Params(m_context.options);
    return std::unique_ptr<Poco::Net::TCPServer>(new Poco::Net::TCPServer(
        new BackendConnectionFactory(handler, m_watchdog, m_context.options, params), threads, socket, params));
}

bool BackendServer::start(std::string& error) {
    if (!load(error)) return false;
    try {
        Poco::Net::initializeSSL();
        m_sslInitialized = true;
        Poco::Net::Context::Ptr tls = new Poco::Net::Context(
            Poco::Net::Context::TLS_SERVER_USE, m_context.options.privateKey, m_context.options.certificate, "",
            Poco::Net::Context::VERIFY_NONE, 9, false, "HIGH:!aNULL:!MD5");
        Poco::Net::SecureServerSocket apiSocket(tls);
        Poco::Net::ServerSocket webSocket;
        if (!listen(apiSocket, m_context.options.apiPort, error) || !listen(webSocket, m_context.options.webPort, error)) {
            stop();
            return false;
        }
        m_context.apiPort = apiSocket.address().port();
        m_context.webPort = webSocket.address().port();
        m_watchdog.start();
        m_api = serve(m_apiHandler, m_apiThreads, apiSocket);
        m_web = serve(m_webHandler, m_webThreads, webSocket);
        m_api->start();
        m_web->start();
        return true;
    } catch (const Poco::Exception& exception) {
        error = exception.displayText();
        stop();
        return false;
    }
}

void BackendServer::stop() {
    // No new connections, then the open ones are shut so that their threads end.
    if (m_api) m_api->stop();
    if (m_web) m_web->stop();
    m_watchdog.stop();
    m_api.reset();
    m_web.reset();
    m_apiThreads.joinAll();
    m_webThreads.joinAll();
    if (m_sslInitialized) {
        Poco::Net::uninitializeSSL();
        m_sslInitialized = false;
    }
}

}  // namespace Backend
}  // namespace VantisClient
