// A few worker threads that serve the service's connections, one connection at
// a time each, and a short queue of accepted connections waiting for them.
// A connection is handed over whole: from then on only the worker that serves
// it uses it, and it is closed on that worker when served.
// Thread-safety: offer() from the accepting thread; shutdown() (also run by the
// destructor) from the owner, after offers have stopped.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <Poco/Net/StreamSocket.h>

namespace VantisClient {
namespace Service {

class ConnectionPool {
public:
    using Serve = std::function<void(Poco::Net::StreamSocket& connection)>;

    ConnectionPool(size_t workers, size_t maxQueued, Serve serve);
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // Queues the connection for the next free worker; false, closing it, when
    // the queue is full or the pool has shut down.
    bool offer(std::unique_ptr<Poco::Net::StreamSocket> connection);
    // Lets every worker finish its connection and joins them; queued
    // connections are closed unserved.
    void shutdown();

private:
    void work();
    std::unique_ptr<Poco::Net::StreamSocket> next();

    const size_t m_maxQueued;
    const Serve m_serve;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::unique_ptr<Poco::Net::StreamSocket>> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

}  // namespace Service
}  // namespace VantisClient
