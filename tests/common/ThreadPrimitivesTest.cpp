#include <atomic>

#include <gtest/gtest.h>

#include "common/ScopedLock.h"
#include "common/Thread.h"
#include "common/VantisMutex.h"
#include "common/Worker.h"
#include "support/WaitFor.h"

using namespace VantisClient;

namespace {

class GatedWork : public Poco::Runnable {
public:
    void run() override {
        started = true;
        while (!released) {
        }
        finished = true;
    }
    std::atomic<bool> started{false};
    std::atomic<bool> released{false};
    std::atomic<bool> finished{false};
};

}  // namespace

TEST(VantisMutex, TryLockFailsAtOnceWhileAnotherThreadHoldsIt) {
    VantisMutex mutex;
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    Thread holder("holder");
    struct Context {
        VantisMutex* mutex;
        std::atomic<bool>* held;
        std::atomic<bool>* release;
    } context{&mutex, &held, &release};
    holder.start(
        [](void* data) {
            auto* c = static_cast<Context*>(data);
            ScopedLock lock(*c->mutex);
            *c->held = true;
            while (!*c->release) {
            }
        },
        &context);
    ASSERT_TRUE(VantisTest::WaitFor([&] { return held.load(); }));
    EXPECT_FALSE(mutex.tryLock());
    release = true;
    holder.join();
    EXPECT_TRUE(mutex.tryLock());
    EXPECT_TRUE(mutex.unlock());
}

TEST(VantisMutex, CopyOfLockedMutexIsIndependentAndUnlocked) {
    VantisMutex original;
    ASSERT_TRUE(original.lock());
    VantisMutex copy(original);
    EXPECT_TRUE(copy.tryLock());
    copy.unlock();
    VantisMutex assigned;
    assigned = original;
    EXPECT_TRUE(assigned.tryLock());
    assigned.unlock();
    original.unlock();
}

TEST(Thread, RunsTheRunnableUnderItsNameAndJoinsRepeatedly) {
    Thread thread("SubSystem test thread");
    EXPECT_EQ("SubSystem test thread", thread.name());
    GatedWork work;
    work.released = true;
    thread.start(work);
    thread.join();
    EXPECT_TRUE(work.finished);
    thread.join();  // returns at once on a finished thread
    EXPECT_FALSE(thread.isRunning());
}

TEST(Thread, StopLeavesTheThreadRunningUntilItsFunctionReturns) {
    Thread thread("gated");
    GatedWork work;
    thread.start(work);
    ASSERT_TRUE(VantisTest::WaitFor([&] { return work.started.load(); }));
    thread.stop();
    EXPECT_TRUE(thread.isRunning());
    EXPECT_FALSE(work.finished);
    work.released = true;
    thread.join();
    EXPECT_TRUE(work.finished);
}

TEST(Thread, CallbackReceivesItsData) {
    int value = 0;
    Thread thread("callback");
    thread.start([](void* data) { *static_cast<int*>(data) = 42; }, &value);
    thread.join();
    EXPECT_EQ(42, value);
}

TEST(Worker, RunReturnsAtOnceSoItsThreadEndsByItself) {
    Worker worker;
    Thread thread("worker");
    thread.start(worker);
    EXPECT_TRUE(VantisTest::WaitFor([&] { return !thread.isRunning(); }));
    thread.join();
}
