// Closes connections that hold a worker thread without giving it work: one
// that has not delivered its whole request (head and body) by its deadline,
// whether it trickles bytes or sends none. The serving thread sets a deadline
// when a connection is accepted and again after each reply, and lifts it while
// a request is being answered; the watchdog's own thread shuts the socket down
// at the deadline, which wakes the serving thread from its read.
//
// Sockets are known by their handles; a connection is forgotten before its
// socket is closed, so a handle is never shut down after it was reused.
// Thread-safety: every operation takes the watchdog's mutex; one thread of its own
// between start() and stop().
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace VantisClient {
namespace Backend {

class ConnectionWatchdog {
public:
    using Clock = std::chrono::steady_clock;

    ConnectionWatchdog() = default;
    ~ConnectionWatchdog();
    ConnectionWatchdog(const ConnectionWatchdog&) = delete;
    ConnectionWatchdog& operator=(const ConnectionWatchdog&) = delete;

    void start();
    // Shuts down every watched socket, and every one that arrives later, and
    // ends the watchdog's thread.
    void stop();

    // Watches a new connection until `budget` from now. False when the
    // watchdog is stopping: the caller closes the connection.
    bool watch(int handle, std::chrono::milliseconds budget);
    // The connection waits for its next request again, for at most `budget`.
    void arm(int handle, std::chrono::milliseconds budget);
    // A request is being answered: no deadline until the next arm().
    void disarm(int handle);
    void forget(int handle);

    size_t watched() const;

private:
    struct Entry {
        bool armed = false;
        Clock::time_point deadline;
    };

    void run();
    void setDeadline(int handle, std::chrono::milliseconds budget);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<int, Entry> m_connections;
    Clock::time_point m_nextCheck = Clock::time_point::max();
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace Backend
}  // namespace VantisClient
