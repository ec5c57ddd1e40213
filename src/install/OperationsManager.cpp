#include "install/OperationsManager.h"

#include <chrono>
#include <utility>

#include "install/ResultNotification.h"

namespace VantisClient {

OperationsManager::OperationsManager(const Poco::SharedPtr<Poco::NotificationQueue>& resultQueue, int idleLookMs)
    : m_resultQueue(resultQueue), m_idleLookMs(idleLookMs) {
    for (uint16_t i = 0; i < WORKER_COUNT; ++i) {
        m_threads.push_back(std::make_unique<Thread>(getWorkerThreadName() + "#" + std::to_string(i)));
        m_threads.back()->start(*this);
    }
}

OperationsManager::~OperationsManager() {
    {
        Lock lock(m_mutex);
        m_stop = true;
        m_abort = true;
        m_pending.clear();
        m_workAvailable.notify_all();
        waitUntilNoneBusy(lock);
    }
    for (const std::unique_ptr<Thread>& thread : m_threads) {
        thread->stop();
        thread->join();
    }
}

std::string OperationsManager::getWorkerThreadName() const { return "OperationsManager worker"; }

void OperationsManager::setMaxWorkers(uint16_t maxWorkers) {
    Lock lock(m_mutex);
    m_maxWorkers = maxWorkers;
    m_workAvailable.notify_all();
}

bool OperationsManager::performAsync(Operation* operation) {
    Lock lock(m_mutex);
    m_pending.emplace_back(operation);
    // At the limit, a worker that finishes takes it; waking an idle one would only put it back to sleep.
    if (m_busyWorkers < m_maxWorkers) m_workAvailable.notify_one();
    return true;
}

void OperationsManager::abort() {
    Lock lock(m_mutex);
    // Raised before the result queue is cleared: a worker sends under the lock and
    // only while the flag is down, so nothing of the aborted work follows the clear.
    m_abort = true;
    m_pending.clear();
    lock.unlock();
    ResultNotification::DropAll(*m_resultQueue);
    lock.lock();
    waitUntilNoneBusy(lock);
    m_abort = false;
    // Work queued while the abort ran may start now.
    m_workAvailable.notify_all();
}

void OperationsManager::sendOperationFeedback(OperationFeedback* feedback) {
    m_resultQueue->enqueueNotification(new ResultNotification(feedback));
}

void OperationsManager::run() {
    Lock lock(m_mutex);
    while (!m_stop) {
        if (canTakeOperation()) {
            std::unique_ptr<Operation> operation = std::move(m_pending.front());
            m_pending.pop_front();
            runOperation(std::move(operation), lock);
            continue;
        }
        m_workAvailable.wait_for(lock, std::chrono::milliseconds(m_idleLookMs));
    }
}

bool OperationsManager::canTakeOperation() const {
    return !m_abort && !m_pending.empty() && m_busyWorkers < m_maxWorkers;
}

void OperationsManager::runOperation(std::unique_ptr<Operation> operation, Lock& lock) {
    ++m_busyWorkers;
    lock.unlock();
    std::unique_ptr<OperationFeedback> feedback(operation->doWork(m_abort));
    operation.reset();
    lock.lock();
    if (!m_abort && feedback) sendOperationFeedback(feedback.release());
    --m_busyWorkers;
    m_workerFinished.notify_all();
    // No other worker is woken for the place freed here: this one takes the next operation itself.
}

void OperationsManager::waitUntilNoneBusy(Lock& lock) {
    m_workerFinished.wait(lock, [this] { return m_busyWorkers == 0; });
}

}  // namespace VantisClient
