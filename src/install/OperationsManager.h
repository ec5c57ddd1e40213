// Runs the Operations of the install pipeline on sixteen workers of its own,
// no more than the worker limit at once and in the order they were queued, and
// puts each result into the owner's result queue. An abort drops queued work,
// waits for running work and lets no result of it through; the manager can be
// used again afterwards. Idle workers sleep on a condition and wake when work is
// queued below the limit (they also look every 100 ms, or the interval given); at the limit, a worker
// that finishes takes the next operation itself.
// Thread-safety: every public operation may be called from any thread; abort()
// and the destructor must not be called from a worker.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include <Poco/NotificationQueue.h>
#include <Poco/Runnable.h>
#include <Poco/SharedPtr.h>

#include "common/Thread.h"
#include "common/VantisMutex.h"
#include "install/Operation.h"

namespace VantisClient {

class OperationsManager : public Poco::Runnable {
public:
    static constexpr uint16_t WORKER_COUNT = 16;
    static constexpr int IDLE_LOOK_MS = 100;

    explicit OperationsManager(const Poco::SharedPtr<Poco::NotificationQueue>& resultQueue,
                               int idleLookMs = IDLE_LOOK_MS);
    ~OperationsManager() override;
    OperationsManager(const OperationsManager&) = delete;
    OperationsManager& operator=(const OperationsManager&) = delete;

    // How many operations may run at once; 16 at first.
    void setMaxWorkers(uint16_t maxWorkers);
    // Takes ownership of `operation`. Always true.
    bool performAsync(Operation* operation);
    virtual void abort();
    // Takes ownership of `feedback` and queues it for the owner.
    void sendOperationFeedback(OperationFeedback* feedback);

    void run() override;

    virtual std::string getWorkerThreadName() const;

private:
    using Lock = std::unique_lock<VantisMutex>;

    bool canTakeOperation() const;
    void runOperation(std::unique_ptr<Operation> operation, Lock& lock);
    void waitUntilNoneBusy(Lock& lock);

    bool m_stop = false;
    std::atomic<bool> m_abort{false};
    uint16_t m_busyWorkers = 0;
    std::list<std::unique_ptr<Operation>> m_pending;
    Poco::SharedPtr<Poco::NotificationQueue> m_resultQueue;
    const int m_idleLookMs;
    uint16_t m_maxWorkers = WORKER_COUNT;
    VantisMutex m_mutex;
    // Workers wait here for work or for a free place under the limit.
    std::condition_variable_any m_workAvailable;
    // abort() and the destructor wait here for the busy workers to finish.
    std::condition_variable_any m_workerFinished;
    std::vector<std::unique_ptr<Thread>> m_threads;
};

}  // namespace VantisClient
