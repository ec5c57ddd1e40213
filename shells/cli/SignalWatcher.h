// Turns SIGINT and SIGTERM into a call with the signal's number on a thread
// of its own, so that the shell can stop an install and quit through its
// normal handshake instead of dying in the middle of a write. StopSignals::Block() must run in main
// before any thread starts, so that every thread inherits the blocked signals.
// Thread-safety: one owner; the callback runs on the watcher's thread.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace VantisClient {

class SignalWatcher {
public:
    static constexpr int POLL_INTERVAL_MS = 200;

    explicit SignalWatcher(std::function<void(int signalNumber)> onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    void run();

    std::function<void(int signalNumber)> m_onSignal;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace VantisClient
