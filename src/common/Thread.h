// A named thread that runs once. The owner starts it, ends its work through its
// own stop flag, and joins it; stop() is no substitute for that.
// Thread-safety: start() and join() are called by the owner only.
#pragma once

#include <string>

#include <Poco/Runnable.h>
#include <Poco/Thread.h>

#include "common/WorkerWrapper.h"

namespace VantisClient {

class Thread {
public:
    explicit Thread(const std::string& name);
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // The runnable must outlive the thread's work.
    void start(Poco::Runnable& runnable);
    void start(WorkerWrapper::Callback callback, void* data);
    // Waits until the thread's function has returned; returns at once when it has.
    void join();
    // Does nothing: a thread ends when its function returns.
    void stop();

    bool isRunning() const;
    std::string name() const;

private:
    Poco::Thread m_thread;
    // Poco refuses a second join of the same thread; a finished Thread answers at once.
    bool m_joinable = false;
};

}  // namespace VantisClient
