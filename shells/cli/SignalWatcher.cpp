#include "cli/SignalWatcher.h"

#include <signal.h>

namespace VantisClient {
namespace {

sigset_t quitSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

void SignalWatcher::Block() {
    const sigset_t signals = quitSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

SignalWatcher::SignalWatcher(std::function<void()> onSignal)
    : m_onSignal(std::move(onSignal)), m_thread(&SignalWatcher::run, this) {}

SignalWatcher::~SignalWatcher() {
    m_stop = true;
    m_thread.join();
}

void SignalWatcher::run() {
    const sigset_t signals = quitSignals();
    const timespec interval{0, POLL_INTERVAL_MS * 1000000L};
    while (!m_stop) {
        if (sigtimedwait(&signals, nullptr, &interval) > 0) m_onSignal();
    }
}

}  // namespace VantisClient
