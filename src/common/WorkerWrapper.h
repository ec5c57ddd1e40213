// What every Thread actually runs: the target work bracketed by the crash
// reporter's thread registration. The wrapper is owned by the thread that runs
// it and deletes itself when run() returns; callers never keep or free it.
#pragma once

#include <Poco/Runnable.h>

namespace VantisClient {

class WorkerWrapper : public Poco::Runnable {
public:
    using Callback = void (*)(void* data);

    explicit WorkerWrapper(Poco::Runnable& target);
    WorkerWrapper(Callback callback, void* data);

    void run() override;

private:
    Poco::Runnable* m_target = nullptr;
    Callback m_callback = nullptr;
    void* m_data = nullptr;
};

}  // namespace VantisClient
