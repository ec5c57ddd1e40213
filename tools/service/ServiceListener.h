// The service's TCP listener on 127.0.0.1. It can be stopped and started again
// (the trigger file was touched): the server that accepts and serves
// connections is renewed, while the bound socket stays. A client that touches
// the file and connects at once (as the client does at its start) is thus
// never refused: its connection waits in the socket's backlog for the new
// server, instead of asking for yet another restart. Connections already open
// are served to their end; shutdown() also ends them, closes the socket and
// waits for their threads.
// Thread-safety: start, stop and shutdown from one thread; connections run on
// the listener's own thread pool.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/TCPServer.h>
#include <Poco/ThreadPool.h>

#include "service/RequestHandler.h"

namespace VantisClient {
namespace Service {

class ServiceListener {
public:
    static constexpr int MAX_CONNECTIONS = 4;

    // `port` 0 picks an ephemeral port at the first start; it is kept.
    ServiceListener(const RequestHandler& handler, uint16_t port);
    ~ServiceListener();
    ServiceListener(const ServiceListener&) = delete;
    ServiceListener& operator=(const ServiceListener&) = delete;

    // Binds the socket at the first start; false with a reason in `error`
    // when the port cannot be bound.
    bool start(std::string& error);
    // Stops accepting; the socket stays bound for the next start.
    void stop();
    void shutdown();

    bool isRunning() const { return m_server != nullptr; }
    uint16_t port() const { return m_port; }

private:
    const RequestHandler& m_handler;
    uint16_t m_port;
    std::atomic<bool> m_stopping{false};
    Poco::ThreadPool m_threads;
    std::unique_ptr<Poco::Net::ServerSocket> m_socket;
    std::unique_ptr<Poco::Net::TCPServer> m_server;
};

}  // namespace Service
}  // namespace VantisClient
