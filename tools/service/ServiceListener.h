// The service's TCP listener on 127.0.0.1: an accepting thread that hands each
// connection to a pool of workers. It can be stopped and started again (the
// trigger file was touched): the accepting thread is renewed, while the bound
// socket stays. A client that touches the file and connects at once (as the
// client does at its start) is thus never refused: its connection waits in the
// socket's backlog for the new thread, instead of asking for yet another
// restart. Connections already open are served to their end across restarts;
// shutdown() ends them, waits for the workers and closes the socket.
// Thread-safety: start, stop and shutdown from one thread (the control loop).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include <Poco/Net/ServerSocket.h>

#include "service/ConnectionPool.h"
#include "common/FileDescriptor.h"
#include "service/RequestHandler.h"

namespace VantisClient {
namespace Service {

class ServiceListener {
public:
    static constexpr size_t MAX_CONNECTIONS = 4;
    static constexpr size_t MAX_QUEUED_CONNECTIONS = 16;

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

    uint16_t port() const { return m_port; }

private:
    bool bind(std::string& error);
    void acceptConnections();

    const RequestHandler& m_handler;
    uint16_t m_port;
    std::atomic<bool> m_stopping{false};
    ConnectionPool m_pool;
    std::unique_ptr<Poco::Net::ServerSocket> m_socket;
    // Written to wake the accepting thread when it is to stop.
    FileDescriptor m_wakeUp;
    std::thread m_accepting;
};

}  // namespace Service
}  // namespace VantisClient
