// The service's TCP listener on 127.0.0.1. It can be stopped and started again
// (the trigger file was touched) on the same port: an ephemeral port chosen at
// the first start is kept. Connections already open are served to their end;
// shutdown() also ends them and waits for their threads.
// Thread-safety: start, stop and shutdown from one thread; connections run on
// the listener's own thread pool.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include <Poco/Net/TCPServer.h>
#include <Poco/ThreadPool.h>

#include "service/RequestHandler.h"

namespace VantisClient {
namespace Service {

class ServiceListener {
public:
    static constexpr int MAX_CONNECTIONS = 4;

    // `port` 0 picks an ephemeral port at the first start.
    ServiceListener(const RequestHandler& handler, uint16_t port);
    ~ServiceListener();
    ServiceListener(const ServiceListener&) = delete;
    ServiceListener& operator=(const ServiceListener&) = delete;

    // False with a reason in `error` when the port cannot be bound.
    bool start(std::string& error);
    void stop();
    void shutdown();

    bool isRunning() const { return m_server != nullptr; }
    uint16_t port() const { return m_port; }

private:
    const RequestHandler& m_handler;
    uint16_t m_port;
    std::atomic<bool> m_stopping{false};
    Poco::ThreadPool m_threads;
    std::unique_ptr<Poco::Net::TCPServer> m_server;
};

}  // namespace Service
}  // namespace VantisClient
