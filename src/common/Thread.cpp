#include "common/Thread.h"

namespace VantisClient {

Thread::Thread(const std::string& name) : m_thread(name) {}

void Thread::start(Poco::Runnable& runnable) {
    m_thread.start(*new WorkerWrapper(runnable));
    m_joinable = true;
}

void Thread::start(WorkerWrapper::Callback callback, void* data) {
    m_thread.start(*new WorkerWrapper(callback, data));
    m_joinable = true;
}

void Thread::join() {
    if (!m_joinable) return;
    m_thread.join();
    m_joinable = false;
}

void Thread::stop() {}

bool Thread::isRunning() const { return m_thread.isRunning(); }

std::string Thread::name() const { return m_thread.getName(); }

}  // namespace VantisClient
