// A group of tasks that run one after another, in the order added, as one
// queued unit; the finished event tells that the whole group has run.
//
// Thread-safety: sub-tasks are added before the group is pushed. doWork() and
// every sub-task's work and events run on the subsystem's thread; abort() and
// onAuthLost() may arrive from any thread while it runs.
#pragma once

#include <atomic>
#include <vector>

#include <Poco/BasicEvent.h>
#include <Poco/EventArgs.h>

#include "core/ClientTask.h"

namespace VantisClient {

class MultiTask : public ClientTask {
public:
    using Ptr = Poco::AutoPtr<MultiTask>;

    static const char* const STR_ID;

    const char* GetStrId() const override;

    void addSubTask(const ClientTask::Ptr& task);

    // Runs the sub-tasks in order and then fires the finished event. Once the
    // group is aborted no further sub-task starts and the event does not fire.
    void doWork() override;
    void onAuthLost() override;
    void abort() override;

    // Fired on the subsystem's thread after the last sub-task.
    Poco::BasicEvent<Poco::EventArgs> finishedEvent;

protected:
    ~MultiTask() override = default;

private:
    std::vector<ClientTask::Ptr> m_subTasks;
    std::atomic<bool> m_aborted{false};
};

}  // namespace VantisClient
