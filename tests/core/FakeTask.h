// A task whose work the test controls: it records what happened to it and,
// when told to, holds its doWork() until the test or an abort releases it.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include <Poco/Event.h>
#include <Poco/Thread.h>

#include "common/ScopedLock.h"
#include "common/VantisMutex.h"
#include "core/ClientTask.h"

namespace VantisTest {

class FakeTask : public VantisClient::ClientTask {
public:
    using Ptr = Poco::AutoPtr<FakeTask>;

    // A held task waits in doWork() for letFinish(); an abort lets it finish unless
    // `finishOnAbort` is false, as with work that takes its time to stop.
    explicit FakeTask(std::string classId, std::string gameId = std::string(), bool holdWork = false,
                      bool finishOnAbort = true)
        : m_classId(std::move(classId)),
          m_gameId(std::move(gameId)),
          m_holdWork(holdWork),
          m_finishOnAbort(finishOnAbort) {}

    const char* GetStrId() const override { return m_classId.c_str(); }
    std::string GetGameId() const override { return m_gameId; }

    void doWork() override {
        ClientTask::doWork();
        {
            VantisClient::ScopedLock lock(m_mutex);
            m_threadName = Poco::Thread::current() != nullptr ? Poco::Thread::current()->getName() : "";
        }
        started = true;
        if (onWork) onWork();
        if (m_holdWork) m_finish.wait();
        finished = true;
    }
    void onAuthLost() override { ++authLostCalls; }
    void abort() override {
        ++abortCalls;
        if (m_finishOnAbort) letFinish();
    }

    // Not named release(): that would hide the reference count's release().
    void letFinish() { m_finish.set(); }
    std::string threadName() {
        VantisClient::ScopedLock lock(m_mutex);
        return m_threadName;
    }

    // Runs inside doWork() on the subsystem's thread; set before the task is pushed.
    std::function<void()> onWork;
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    std::atomic<int> abortCalls{0};
    std::atomic<int> authLostCalls{0};

private:
    std::string m_classId;
    std::string m_gameId;
    bool m_holdWork;
    bool m_finishOnAbort;
    Poco::Event m_finish{Poco::Event::EVENT_MANUALRESET};
    VantisClient::VantisMutex m_mutex;
    std::string m_threadName;
};

}  // namespace VantisTest
