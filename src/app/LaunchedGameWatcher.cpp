#include "app/LaunchedGameWatcher.h"

#include <chrono>

namespace VantisClient {

LaunchedGameWatcher::~LaunchedGameWatcher() {
    std::lock_guard<std::mutex> lock(m_mutex);
    stop();
}

void LaunchedGameWatcher::watch(ILaunchedProgram::Ptr program, std::function<void()> onEnded) {
    std::lock_guard<std::mutex> lock(m_mutex);
    stop();
    m_stop = false;
    m_watching = true;
    m_thread = std::thread(&LaunchedGameWatcher::run, this, std::move(program), std::move(onEnded));
}

void LaunchedGameWatcher::stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    m_watching = false;
}

void LaunchedGameWatcher::run(ILaunchedProgram::Ptr program, std::function<void()> onEnded) {
    while (!m_stop) {
        if (program->hasEnded()) {
            m_watching = false;
            onEnded();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(POLL_INTERVAL_MS));
    }
}

}  // namespace VantisClient
