#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <Poco/NotificationQueue.h>
#include <Poco/Thread.h>
#include <gtest/gtest.h>

#include "common/Utilities.h"
#include "install/FileSystemOperation.h"
#include "install/OperationsManager.h"
#include "install/ResultNotification.h"
#include "support/WaitFor.h"

using namespace VantisClient;

namespace {

// What the operations of one test saw.
struct Probe {
    std::atomic<int> running{0};
    std::atomic<int> maxRunning{0};
    std::atomic<int> destroyed{0};
    std::atomic<bool> release{false};
    std::mutex mutex;
    std::vector<int> started;
    std::set<std::string> threadNames;
};

class ProbeFeedback : public OperationFeedback {
public:
    explicit ProbeFeedback(int operationId) : id(operationId) { setErrorCode(0); }
    uint64_t getId() const override { return Utilities::Hash64bit("ProbeFeedback"); }
    const int id;
};

class ProbeOperation : public FileSystemOperation {
public:
    enum Kind { Quick, Busy, HoldUntilReleased };
    ProbeOperation(Probe& probe, int id, Kind kind) : m_probe(probe), m_id(id), m_kind(kind) {}
    ~ProbeOperation() override { ++m_probe.destroyed; }

    OperationFeedback* doWork(const std::atomic<bool>& abortFlag) override {
        {
            std::lock_guard<std::mutex> lock(m_probe.mutex);
            m_probe.started.push_back(m_id);
            m_probe.threadNames.insert(Poco::Thread::current()->getName());
        }
        int now = ++m_probe.running;
        int seen = m_probe.maxRunning.load();
        while (now > seen && !m_probe.maxRunning.compare_exchange_weak(seen, now)) {
        }
        if (m_kind == Busy) std::this_thread::sleep_for(std::chrono::milliseconds(15));
        while (m_kind == HoldUntilReleased && !abortFlag && !m_probe.release) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        --m_probe.running;
        return new ProbeFeedback(m_id);
    }

private:
    Probe& m_probe;
    const int m_id;
    const Kind m_kind;
};

class OperationsManagerTest : public ::testing::Test {
protected:
    // The ids of the results that arrive within `timeoutMs`, up to `count` of them.
    std::vector<int> takeResults(size_t count, long timeoutMs = 10000) {
        std::vector<int> ids;
        while (ids.size() < count) {
            Poco::AutoPtr<Poco::Notification> next(results->waitDequeueNotification(timeoutMs));
            auto* result = dynamic_cast<ResultNotification*>(next.get());
            if (result == nullptr) break;
            EXPECT_EQ(0, result->getResult()->getErrorCode());
            ids.push_back(static_cast<ProbeFeedback*>(result->getResult())->id);
        }
        return ids;
    }

    Poco::SharedPtr<Poco::NotificationQueue> results = new Poco::NotificationQueue;
    Probe probe;
};

}  // namespace

TEST_F(OperationsManagerTest, QueuedWorkWakesAnIdleWorker) {
    // Idle workers that look for work only once an hour: each round trip below,
    // given ten seconds, needs the queued work to wake one.
    OperationsManager manager(results, 3600 * 1000);
    // Fifteen workers held busy leave one idle.
    for (int i = 0; i < 15; ++i) manager.performAsync(new ProbeOperation(probe, i, ProbeOperation::HoldUntilReleased));
    ASSERT_TRUE(VantisTest::WaitFor([&] { return probe.running.load() == 15; }));
    const int ROUND_TRIPS = 10;
    for (int i = 100; i < 100 + ROUND_TRIPS; ++i) {
        manager.performAsync(new ProbeOperation(probe, i, ProbeOperation::Quick));
        ASSERT_EQ(std::vector<int>{i}, takeResults(1));
    }
    probe.release = true;
    EXPECT_EQ(15u, takeResults(15).size());
    EXPECT_EQ(15 + ROUND_TRIPS, probe.destroyed.load());
}

TEST_F(OperationsManagerTest, TheLimitCapsRunningWorkAndEverythingArrives) {
    struct Case {
        uint16_t limit;
        int expectedMaxRunning;  // 0: anything above 1
    } cases[] = {{1, 1}, {2, 2}, {16, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        Probe local;
        OperationsManager manager(results);
        manager.setMaxWorkers(c.limit);
        for (int i = 0; i < 10; ++i) manager.performAsync(new ProbeOperation(local, i, ProbeOperation::Busy));
        std::vector<int> ids = takeResults(10);
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), ids);
        if (c.expectedMaxRunning > 0) {
            EXPECT_EQ(c.expectedMaxRunning, local.maxRunning.load());
        } else {
            EXPECT_GT(local.maxRunning.load(), 1);
        }
        // Work starts in the order it was queued.
        if (c.limit == 1) {
            EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), local.started);
        }
    }
}

TEST_F(OperationsManagerTest, SixteenNamedWorkers) {
    OperationsManager manager(results);
    for (int i = 0; i < 16; ++i) manager.performAsync(new ProbeOperation(probe, i, ProbeOperation::HoldUntilReleased));
    ASSERT_TRUE(VantisTest::WaitFor([&] { return probe.running.load() == 16; }));
    probe.release = true;
    EXPECT_EQ(16u, takeResults(16).size());
    std::set<std::string> expected;
    for (int i = 0; i < 16; ++i) expected.insert("OperationsManager worker#" + std::to_string(i));
    EXPECT_EQ(expected, probe.threadNames);
}

TEST_F(OperationsManagerTest, AbortDropsQueuedWorkAndEveryResultThenTheManagerWorksAgain) {
    OperationsManager manager(results);
    manager.setMaxWorkers(1);
    manager.performAsync(new ProbeOperation(probe, 1, ProbeOperation::Quick));
    ASSERT_TRUE(VantisTest::WaitFor([&] { return results->size() == 1; }));
    manager.performAsync(new ProbeOperation(probe, 2, ProbeOperation::HoldUntilReleased));
    for (int i = 3; i < 8; ++i) manager.performAsync(new ProbeOperation(probe, i, ProbeOperation::Quick));
    ASSERT_TRUE(VantisTest::WaitFor([&] { return probe.running.load() == 1; }));

    // Returns once the held operation has seen the flag; its result and the one
    // already waiting are gone, the queued ones never ran.
    manager.abort();
    EXPECT_EQ(0, probe.running.load());
    EXPECT_EQ(0, results->size());
    EXPECT_EQ((std::vector<int>{1, 2}), probe.started);
    EXPECT_EQ(7, probe.destroyed.load());

    manager.performAsync(new ProbeOperation(probe, 9, ProbeOperation::Quick));
    EXPECT_EQ(std::vector<int>{9}, takeResults(1));
    manager.abort();  // nothing running: returns at once
    EXPECT_EQ(0, results->size());
}

TEST_F(OperationsManagerTest, DestructionEndsRunningWorkAndFreesQueuedWork) {
    {
        OperationsManager manager(results);
        manager.setMaxWorkers(1);
        manager.performAsync(new ProbeOperation(probe, 1, ProbeOperation::HoldUntilReleased));
        manager.performAsync(new ProbeOperation(probe, 2, ProbeOperation::Quick));
        ASSERT_TRUE(VantisTest::WaitFor([&] { return probe.running.load() == 1; }));
    }
    EXPECT_EQ(2, probe.destroyed.load());
    EXPECT_EQ(0, results->size());
}
