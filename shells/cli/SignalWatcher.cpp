#include "cli/SignalWatcher.h"

#include <signal.h>

#include "common/StopSignals.h"

namespace VantisClient {

SignalWatcher::SignalWatcher(std::function<void(int signalNumber)> onSignal)
    : m_onSignal(std::move(onSignal)), m_thread(&SignalWatcher::run, this) {}

SignalWatcher::~SignalWatcher() {
    m_stop = true;
    m_thread.join();
}

void SignalWatcher::run() {
    const sigset_t signals = StopSignals::Set();
    const timespec interval{0, POLL_INTERVAL_MS * 1000000L};
    while (!m_stop) {
        const int signalNumber = sigtimedwait(&signals, nullptr, &interval);
        if (signalNumber > 0) m_onSignal(signalNumber);
    }
}

}  // namespace VantisClient
