#include "common/WorkerWrapper.h"

#include "common/CrashReporter.h"

namespace VantisClient {

WorkerWrapper::WorkerWrapper(Poco::Runnable& target) : m_target(&target) {}

WorkerWrapper::WorkerWrapper(Callback callback, void* data) : m_callback(callback), m_data(data) {}

void WorkerWrapper::run() {
    CrashReporter::AddCurrentThread();
    if (m_target != nullptr) {
        m_target->run();
    } else {
        m_callback(m_data);
    }
    CrashReporter::RemoveCurrentThread();
    delete this;
}

}  // namespace VantisClient
