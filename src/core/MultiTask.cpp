#include "core/MultiTask.h"

namespace VantisClient {

const char* const MultiTask::STR_ID = "MultiTask";

const char* MultiTask::GetStrId() const { return STR_ID; }

void MultiTask::addSubTask(const ClientTask::Ptr& task) { m_subTasks.push_back(task); }

void MultiTask::doWork() {
    ClientTask::doWork();
    for (ClientTask::Ptr& task : m_subTasks) {
        if (m_aborted) return;
        task->doWork();
    }
    Poco::EventArgs args;
    finishedEvent.notify(this, args);
}

void MultiTask::onAuthLost() {
    m_aborted = true;
    for (ClientTask::Ptr& task : m_subTasks) task->onAuthLost();
}

void MultiTask::abort() {
    m_aborted = true;
    for (ClientTask::Ptr& task : m_subTasks) task->abort();
}

}  // namespace VantisClient
