#include "LoopbackServer.h"

#include <sys/socket.h>

#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPRequestHandler.h>
#include <Poco/Net/HTTPRequestHandlerFactory.h>
#include <Poco/Net/HTTPServerParams.h>
#include <Poco/Net/SecureServerSocket.h>
#include <Poco/Net/SocketAddress.h>

namespace VantisTest {
namespace {

using Peers = std::pair<std::mutex, std::set<std::string>>;

class CountingHandler : public Poco::Net::HTTPRequestHandler {
public:
    CountingHandler(const LoopbackServer::Handler& handler, std::shared_ptr<std::atomic<int>> requests,
                    std::shared_ptr<Peers> peers)
        : m_handler(handler), m_requests(requests), m_peers(peers) {}

    void handleRequest(Poco::Net::HTTPServerRequest& request, Poco::Net::HTTPServerResponse& response) override {
        {
            std::lock_guard<std::mutex> lock(m_peers->first);
            m_peers->second.insert(request.clientAddress().toString());
        }
        ++*m_requests;
        m_handler(request, response);
    }

private:
    const LoopbackServer::Handler& m_handler;
    std::shared_ptr<std::atomic<int>> m_requests;
    std::shared_ptr<Peers> m_peers;
};

class Factory : public Poco::Net::HTTPRequestHandlerFactory {
public:
    Factory(LoopbackServer::Handler handler, std::shared_ptr<std::atomic<int>> requests, std::shared_ptr<Peers> peers)
        : m_handler(std::move(handler)), m_requests(requests), m_peers(peers) {}

    Poco::Net::HTTPRequestHandler* createRequestHandler(const Poco::Net::HTTPServerRequest&) override {
        return new CountingHandler(m_handler, m_requests, m_peers);
    }

private:
    LoopbackServer::Handler m_handler;
    std::shared_ptr<std::atomic<int>> m_requests;
    std::shared_ptr<Peers> m_peers;
};

Poco::Net::SocketAddress anyLoopbackPort() { return Poco::Net::SocketAddress("127.0.0.1", 0); }

}  // namespace

LoopbackServer::LoopbackServer(Handler handler)
    : m_threads(2, THREADS), m_requests(std::make_shared<std::atomic<int>>(0)), m_peers(std::make_shared<Peers>()) {
    start(Poco::Net::ServerSocket(anyLoopbackPort()), std::move(handler));
}

LoopbackServer::LoopbackServer(Handler handler, const std::string& certificateFile, const std::string& keyFile)
    : m_threads(2, THREADS), m_requests(std::make_shared<std::atomic<int>>(0)), m_peers(std::make_shared<Peers>()) {
    Poco::Net::Context::Ptr context = new Poco::Net::Context(Poco::Net::Context::TLS_SERVER_USE, keyFile,
                                                             certificateFile, "", Poco::Net::Context::VERIFY_NONE);
    start(Poco::Net::SecureServerSocket(anyLoopbackPort(), 64, context), std::move(handler));
}

void LoopbackServer::start(Poco::Net::ServerSocket socket, Handler handler) {
    Poco::Net::HTTPServerParams::Ptr params = new Poco::Net::HTTPServerParams();
    // Each kept-alive client connection holds a thread: room for every worker
    // of the client under test, in a pool of this server's own.
    params->setMaxThreads(THREADS);
    params->setKeepAlive(true);
    m_server.reset(new Poco::Net::HTTPServer(new Factory(std::move(handler), m_requests, m_peers), m_threads, socket,
                                             params));
    m_server->start();
}

LoopbackServer::~LoopbackServer() { m_server->stopAll(true); }

uint16_t LoopbackServer::port() const { return m_server->port(); }

std::string LoopbackServer::authority() const { return "127.0.0.1:" + std::to_string(port()); }

size_t LoopbackServer::connections() const {
    std::lock_guard<std::mutex> lock(m_peers->first);
    return m_peers->second.size();
}

StalledServer::StalledServer()
    : m_socket(anyLoopbackPort()), m_port(m_socket.address().port()), m_acceptor([this] { acceptUntilClosed(); }) {}

StalledServer::~StalledServer() {
    // Shutting the listener down ends the accept the thread waits in.
    ::shutdown(m_socket.impl()->sockfd(), SHUT_RDWR);
    m_acceptor.join();
    m_socket.close();
}

void StalledServer::acceptUntilClosed() {
    try {
        for (;;) {
            m_held.push_back(m_socket.acceptConnection());
            ++m_connections;
        }
    } catch (const Poco::Exception&) {
    }
}

}  // namespace VantisTest
