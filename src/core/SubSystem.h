// A named task queue with one thread that takes the tasks out one at a time
// and runs them. A task whose identity is already queued or running is refused,
// so repeated requests are harmless.
//
// Thread-safety: pushUniqueTask(), abortCurrentTask(), onAuthLost(),
// removeScheduledTask() and isScheduled() may be called from any thread. Tasks, their events and
// both events of the subsystem run on the subsystem's thread, named
// "SubSystem <name> thread".
#pragma once

#include <atomic>
#include <memory>
#include <set>
#include <string>

#include <Poco/BasicEvent.h>
#include <Poco/EventArgs.h>
#include <Poco/NotificationQueue.h>

#include "common/Thread.h"
#include "common/VantisMutex.h"
#include "common/Worker.h"
#include "core/ClientTask.h"
#include "core/ScheduledTaskId.h"

namespace VantisClient {

class SubSystem : public Worker {
public:
    // Starts the thread at once.
    explicit SubSystem(const std::string& name);
    // Stops the thread after the current task, aborting it; queued tasks never run.
    ~SubSystem() override;
    SubSystem(const SubSystem&) = delete;
    SubSystem& operator=(const SubSystem&) = delete;

    // False, dropping the task, when a task of the same identity is queued or
    // running. A null task raises Poco::NullPointerException. A stopped
    // subsystem still accepts tasks but never runs them.
    bool pushUniqueTask(const ClientTask::Ptr& task);
    // Stops the subsystem: the current task, if any, is aborted, the thread ends
    // when it returns, and the remaining queued tasks never run.
    void abortCurrentTask();
    // Aborts the current task when it is of the class `classId`; the subsystem
    // goes on with the queued tasks.
    void abortRunningTask(const std::string& classId);
    // Stops the subsystem as abortCurrentTask() does and waits until its thread
    // has ended; returns at once when it has.
    void stop();
    // Passes the loss of authentication to the current task, if any.
    void onAuthLost();
    void removeScheduledTask(const ScheduledTaskId& id);
    // Whether a task of this identity is queued or running.
    bool isScheduled(const ScheduledTaskId& id);

    const std::string& name() const { return m_name; }
    // True from just before the stopped event fires.
    bool hasStopped() const { return m_stopped; }

    // Fired once, when the thread leaves its loop.
    Poco::BasicEvent<Poco::EventArgs> stoppedEvent;
    // Fired after a task's work with the task's game id, unless that id is empty.
    Poco::BasicEvent<const std::string> taskFinishedEvent;

private:
    static void threadFunction(void* subSystem);
    void runLoop();
    void runTask(ClientTask::Ptr task);
    ClientTask::Ptr currentTask();
    void setCurrentTask(const ClientTask::Ptr& task);

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_stopped{false};
    Poco::NotificationQueue m_queue;
    const std::string m_name;
    VantisMutex m_scheduledIdsMutex;
    std::set<ScheduledTaskId> m_scheduledIds;
    // Guards replacing the current task on the subsystem's thread against
    // reading it from the threads that abort or signal it.
    VantisMutex m_currentTaskMutex;
    ClientTask::Ptr m_currentTask;
    std::unique_ptr<Thread> m_thread;
};

}  // namespace VantisClient
