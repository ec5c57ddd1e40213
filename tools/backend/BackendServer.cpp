#include "backend/BackendServer.h"

#include <fstream>
#include <sstream>

#include <Poco/Exception.h>
#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPServerParams.h>
#include <Poco/Net/SSLManager.h>
#include <Poco/Net/SecureServerSocket.h>
#include <Poco/Net/ServerSocket.h>

#include "backend/BackendRequestHandler.h"

namespace VantisClient {
namespace Backend {

namespace {

const char* const LOOPBACK = "127.0.0.1";

Poco::Net::HTTPServerParams::Ptr serverParams() {
    Poco::Net::HTTPServerParams::Ptr params = new Poco::Net::HTTPServerParams;
    params->setKeepAlive(true);
    params->setMaxKeepAliveRequests(0);
    params->setMaxQueued(256);
    params->setMaxThreads(BackendServer::MAX_THREADS);
    params->setTimeout(Poco::Timespan(60, 0));
    return params;
}

}  // namespace

BackendServer::BackendServer(const BackendOptions& options)
    : m_context(options),
      m_apiRoutes(m_context),
      m_webRoutes(m_context),
      m_apiThreads(2, MAX_THREADS),
      m_webThreads(2, MAX_THREADS) {}

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
    return m_context.faults.addRules(rules.str(), error);
}

bool BackendServer::start(std::string& error) {
    if (!load(error)) return false;
    try {
        Poco::Net::initializeSSL();
        m_sslInitialized = true;
        Poco::Net::Context::Ptr tls = new Poco::Net::Context(
            Poco::Net::Context::TLS_SERVER_USE, m_context.options.privateKey, m_context.options.certificate, "",
            Poco::Net::Context::VERIFY_NONE, 9, false, "HIGH:!aNULL:!MD5");
        Poco::Net::SecureServerSocket apiSocket(
            Poco::Net::SocketAddress(LOOPBACK, static_cast<Poco::UInt16>(m_context.options.apiPort)), 64, tls);
        Poco::Net::ServerSocket webSocket(
            Poco::Net::SocketAddress(LOOPBACK, static_cast<Poco::UInt16>(m_context.options.webPort)), 64);
        m_context.apiPort = apiSocket.address().port();
        m_context.webPort = webSocket.address().port();

        auto api = [this](const IncomingRequest& request) { return m_apiRoutes.handle(request); };
        auto web = [this](const IncomingRequest& request) { return m_webRoutes.handle(request); };
        m_api.reset(new Poco::Net::HTTPServer(new BackendRequestHandlerFactory(m_context, "api", api), m_apiThreads,
                                              apiSocket, serverParams()));
        m_web.reset(new Poco::Net::HTTPServer(new BackendRequestHandlerFactory(m_context, "web", web), m_webThreads,
                                              webSocket, serverParams()));
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
    if (m_api) m_api->stopAll(true);
    if (m_web) m_web->stopAll(true);
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
