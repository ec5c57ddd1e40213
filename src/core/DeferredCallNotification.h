// Work handed to the thread that drains the engine's notifications, to run
// there in queue order with the listener's operations: a shell's main thread
// gives away what may block (a request, a database read) this way.
// Thread-safety: created on any thread; run on the draining thread only.
#pragma once

#include <functional>

#include "core/ClientNotification.h"

namespace VantisClient {

class DeferredCallNotification : public ClientNotification {
public:
    explicit DeferredCallNotification(std::function<void()> call) : m_call(std::move(call)) {}

    // Runs the call; the listener is not used.
    void dispatchToClient(IClientListener* listener) override;

private:
    std::function<void()> m_call;
};

}  // namespace VantisClient
