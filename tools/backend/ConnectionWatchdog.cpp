#include "backend/ConnectionWatchdog.h"

#include <sys/socket.h>

namespace VantisClient {
namespace Backend {

ConnectionWatchdog::~ConnectionWatchdog() {
    stop();
}

void ConnectionWatchdog::start() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_thread.joinable()) return;
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
}

void ConnectionWatchdog::stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        for (const auto& connection : m_connections) ::shutdown(connection.first, SHUT_RDWR);
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

bool ConnectionWatchdog::watch(int handle, std::chrono::milliseconds budget) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping) return false;
    m_connections[handle] = Entry();
    setDeadline(handle, budget);
    return true;
}

void ConnectionWatchdog::arm(int handle, std::chrono::milliseconds budget) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_connections.count(handle)) setDeadline(handle, budget);
}

void ConnectionWatchdog::disarm(int handle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto connection = m_connections.find(handle);
    if (connection != m_connections.end()) connection->second.armed = false;
}

void ConnectionWatchdog::forget(int handle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connections.erase(handle);
}

size_t ConnectionWatchdog::watched() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections.size();
}

// Called with the mutex held. The thread is woken only when the new deadline
// comes before the one it already waits for.
void ConnectionWatchdog::setDeadline(int handle, std::chrono::milliseconds budget) {
    Entry& entry = m_connections[handle];
    entry.armed = true;
    entry.deadline = Clock::now() + budget;
    if (entry.deadline < m_nextCheck) {
        m_nextCheck = entry.deadline;
        m_wake.notify_one();
    }
}

void ConnectionWatchdog::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        const Clock::time_point now = Clock::now();
        m_nextCheck = Clock::time_point::max();
        for (auto& connection : m_connections) {
            Entry& entry = connection.second;
            if (!entry.armed) continue;
            if (entry.deadline <= now) {
                // The serving thread wakes with an end of stream and forgets it.
                ::shutdown(connection.first, SHUT_RDWR);
                entry.armed = false;
            } else if (entry.deadline < m_nextCheck) {
                m_nextCheck = entry.deadline;
            }
        }
        if (m_nextCheck == Clock::time_point::max()) {
            m_wake.wait(lock);
        } else {
            m_wake.wait_until(lock, m_nextCheck);
        }
    }
}

}  // namespace Backend
}  // namespace VantisClient
