#include "core/SubSystem.h"

#include <Poco/Exception.h>

#include "common/ScopedLock.h"

namespace VantisClient {
namespace {

// Bounds the delay between a push and the start of the task, and between a
// stop and the exit of an idle thread.
const long TASK_WAIT_MS = 10;

}  // namespace

SubSystem::SubSystem(const std::string& name) : m_name(name) {
    m_thread.reset(new Thread("SubSystem " + m_name + " thread"));
    m_thread->start(&SubSystem::threadFunction, this);
}

SubSystem::~SubSystem() {
    stop();
    m_thread.reset();
    m_queue.clear();
    setCurrentTask(ClientTask::Ptr());
}

bool SubSystem::pushUniqueTask(const ClientTask::Ptr& task) {
    if (!task) throw Poco::NullPointerException("SubSystem::pushUniqueTask");
    bool inserted;
    {
        ScopedLock lock(m_scheduledIdsMutex);
        inserted = m_scheduledIds.insert(task->getScheduledTaskId()).second;
    }
    if (inserted) m_queue.enqueueNotification(task);
    return inserted;
}

void SubSystem::abortCurrentTask() {
    // The flag goes first: a task taken out after this point never starts.
    m_stop = true;
    ClientTask::Ptr task = currentTask();
    if (task) task->abort();
}

void SubSystem::abortRunningTask(const std::string& classId) {
    ClientTask::Ptr task = currentTask();
    if (task && classId == task->GetStrId()) task->abort();
}

void SubSystem::stop() {
    abortCurrentTask();
    m_thread->join();
}

void SubSystem::onAuthLost() {
    ClientTask::Ptr task = currentTask();
    if (task) task->onAuthLost();
}

void SubSystem::removeScheduledTask(const ScheduledTaskId& id) {
    ScopedLock lock(m_scheduledIdsMutex);
    m_scheduledIds.erase(id);
}

bool SubSystem::isScheduled(const ScheduledTaskId& id) {
    ScopedLock lock(m_scheduledIdsMutex);
    return m_scheduledIds.count(id) > 0;
}

void SubSystem::threadFunction(void* subSystem) { static_cast<SubSystem*>(subSystem)->runLoop(); }

void SubSystem::runLoop() {
    while (!m_stop) {
        Poco::AutoPtr<Poco::Notification> next(m_queue.waitDequeueNotification(TASK_WAIT_MS));
        ClientTask::Ptr task = next.cast<ClientTask>();
        setCurrentTask(task);
        if (!task) continue;
        if (!m_stop) runTask(task);
        removeScheduledTask(task->getScheduledTaskId());
        setCurrentTask(ClientTask::Ptr());
    }
    m_stopped = true;
    Poco::EventArgs args;
    stoppedEvent.notify(this, args);
}

void SubSystem::runTask(ClientTask::Ptr task) {
    task->doWork();
    const std::string gameId = task->GetGameId();
    if (!gameId.empty()) taskFinishedEvent.notify(this, gameId);
}

ClientTask::Ptr SubSystem::currentTask() {
    ScopedLock lock(m_currentTaskMutex);
    return m_currentTask;
}

void SubSystem::setCurrentTask(const ClientTask::Ptr& task) {
    // The previous task is released outside the lock: its destructor may be slow.
    ClientTask::Ptr previous;
    {
        ScopedLock lock(m_currentTaskMutex);
        previous = m_currentTask;
        m_currentTask = task;
    }
}

}  // namespace VantisClient
