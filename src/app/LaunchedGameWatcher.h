// Watches the game the client launched and reports when it has ended, so the
// game card's play button comes back. One watcher thread at a time: a new
// launch replaces the watch of the previous one (its end is then no longer
// reported, as the card only tracks the latest launch).
// Thread-safety: watch() and isWatching() may be called from any thread; the
// callback runs on the watcher thread. The destructor stops watching without
// waiting for the game to end.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/ILaunchedProgram.h"

namespace VantisClient {

class LaunchedGameWatcher {
public:
    static constexpr int POLL_INTERVAL_MS = 100;

    LaunchedGameWatcher() = default;
    ~LaunchedGameWatcher();
    LaunchedGameWatcher(const LaunchedGameWatcher&) = delete;
    LaunchedGameWatcher& operator=(const LaunchedGameWatcher&) = delete;

    void watch(ILaunchedProgram::Ptr program, std::function<void()> onEnded);
    // True while a watched game runs.
    bool isWatching() const { return m_watching; }

private:
    void stop();
    void run(ILaunchedProgram::Ptr program, std::function<void()> onEnded);

    std::mutex m_mutex;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_watching{false};
};

}  // namespace VantisClient
