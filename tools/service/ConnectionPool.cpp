#include "service/ConnectionPool.h"

namespace VantisClient {
namespace Service {

ConnectionPool::ConnectionPool(size_t workers, size_t maxQueued, Serve serve)
    : m_maxQueued(maxQueued), m_serve(std::move(serve)) {
    for (size_t i = 0; i < workers; ++i) m_workers.emplace_back([this] { work(); });
}

ConnectionPool::~ConnectionPool() { shutdown(); }

bool ConnectionPool::offer(std::unique_ptr<Poco::Net::StreamSocket> connection) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping || m_queue.size() >= m_maxQueued) return false;
        m_queue.push_back(std::move(connection));
    }
    m_wake.notify_one();
    return true;
}

void ConnectionPool::shutdown() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers) {
        if (worker.joinable()) worker.join();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.clear();
}

void ConnectionPool::work() {
    while (std::unique_ptr<Poco::Net::StreamSocket> connection = next()) {
        m_serve(*connection);
        // Closed here, by the only thread that used it.
        connection.reset();
    }
}

std::unique_ptr<Poco::Net::StreamSocket> ConnectionPool::next() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
    if (m_stopping) return nullptr;
    std::unique_ptr<Poco::Net::StreamSocket> connection = std::move(m_queue.front());
    m_queue.pop_front();
    return connection;
}

}  // namespace Service
}  // namespace VantisClient
