#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include <Poco/Delegate.h>
#include <Poco/Exception.h>
#include <gtest/gtest.h>

#include "core/MultiTask.h"
#include "core/ScheduledTaskId.h"
#include "core/SubSystem.h"
#include "FakeTask.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

using VantisClient::ClientTask;
using VantisClient::MultiTask;
using VantisClient::ScheduledTaskId;
using VantisClient::ScopedLock;
using VantisClient::SubSystem;
using VantisClient::VantisMutex;
using VantisTest::FakeTask;
using VantisTest::WaitFor;

namespace {

// Collects, in order, what the subsystem's events and the tasks' work report
// from the subsystem's thread.
class Journal {
public:
    void add(const std::string& entry) {
        ScopedLock lock(m_mutex);
        m_entries.push_back(entry);
    }
    std::vector<std::string> entries() {
        ScopedLock lock(m_mutex);
        return m_entries;
    }
    bool contains(const std::string& entry) {
        ScopedLock lock(m_mutex);
        return std::find(m_entries.begin(), m_entries.end(), entry) != m_entries.end();
    }

    void onTaskFinished(const void*, const std::string& gameId) { add("finished " + gameId); }
    void onStopped(const void*, Poco::EventArgs&) { add("stopped"); }
    void onGroupFinished(const void*, Poco::EventArgs&) { add("group finished"); }

private:
    VantisMutex m_mutex;
    std::vector<std::string> m_entries;
};

FakeTask::Ptr journaledTask(Journal& journal, const std::string& classId, const std::string& gameId,
                            bool holdWork = false) {
    FakeTask::Ptr task = new FakeTask(classId, gameId, holdWork);
    const std::string label = classId + (gameId.empty() ? "" : " " + gameId);
    task->onWork = [&journal, label] { journal.add("ran " + label); };
    return task;
}

class TaskSubsystemTest : public VantisTest::SandboxTest {
protected:
    void subscribe(SubSystem& subsystem) {
        subsystem.taskFinishedEvent += Poco::delegate(&journal, &Journal::onTaskFinished);
        subsystem.stoppedEvent += Poco::delegate(&journal, &Journal::onStopped);
    }

    Journal journal;
};

TEST(ScheduledTaskIdTest, OrdersByClassThenGameIdAsBytes) {
    struct Case {
        ScheduledTaskId lower;
        ScheduledTaskId higher;
    };
    const Case cases[] = {
        {{"A", "1"}, {"A", "2"}},
        {{"A", ""}, {"A", "1"}},         // a prefix sorts first
        {{"A", "9"}, {"B", "0"}},        // the class decides before the game id
        {{"A", "z"}, {"A", "\x80"}},     // bytes compare unsigned
        {{"Task", "1"}, {"TaskB", "0"}},
        {{"B", "1"}, {"a", "1"}},        // case-sensitive
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(c.lower < c.higher) << c.lower.classId() << "/" << c.lower.gameId();
        EXPECT_FALSE(c.higher < c.lower) << c.lower.classId() << "/" << c.lower.gameId();
    }
    EXPECT_FALSE(ScheduledTaskId("A", "1") < ScheduledTaskId("A", "1"));
}

TEST_F(TaskSubsystemTest, TaskIdentityIsClassIdentifierPlusGameId) {
    FakeTask::Ptr install = new FakeTask("InstallProductTask", "1207658924");
    EXPECT_EQ(ScheduledTaskId("InstallProductTask", "1207658924"), install->getScheduledTaskId());
    MultiTask::Ptr group = new MultiTask();
    EXPECT_EQ(ScheduledTaskId("MultiTask", ""), group->getScheduledTaskId());
}

TEST_F(TaskSubsystemTest, RunsTasksOnItsNamedThreadInPushOrder) {
    SubSystem subsystem("installer");
    subscribe(subsystem);
    FakeTask::Ptr first = journaledTask(journal, "First", "1");
    FakeTask::Ptr second = journaledTask(journal, "Second", "2");
    ASSERT_TRUE(subsystem.pushUniqueTask(first));
    ASSERT_TRUE(subsystem.pushUniqueTask(second));

    ASSERT_TRUE(WaitFor([&] { return journal.contains("finished 2"); }));
    EXPECT_EQ((std::vector<std::string>{"ran First 1", "finished 1", "ran Second 2", "finished 2"}),
              journal.entries());
    EXPECT_EQ("SubSystem installer thread", first->threadName());
}

TEST_F(TaskSubsystemTest, RefusesADuplicateWhileQueuedOrRunningAndAcceptsItAfterItEnds) {
    SubSystem subsystem("short");
    FakeTask::Ptr running = new FakeTask("CheckAPIStatusTask", "", true);
    ASSERT_TRUE(subsystem.pushUniqueTask(running));
    ASSERT_TRUE(WaitFor([&] { return running->started.load(); }));
    EXPECT_FALSE(subsystem.pushUniqueTask(new FakeTask("CheckAPIStatusTask")));

    FakeTask::Ptr queued = new FakeTask("LoadProductsTask");
    ASSERT_TRUE(subsystem.pushUniqueTask(queued));
    EXPECT_FALSE(subsystem.pushUniqueTask(new FakeTask("LoadProductsTask")));

    running->letFinish();
    ASSERT_TRUE(WaitFor([&] { return queued->finished.load(); }));
    // The identity leaves the set just after the work returns.
    EXPECT_TRUE(WaitFor([&] { return subsystem.pushUniqueTask(new FakeTask("CheckAPIStatusTask")); }));
}

TEST_F(TaskSubsystemTest, InstallsOfDifferentGamesQueueSideBySideAndRunInOrder) {
    SubSystem subsystem("installer");
    subscribe(subsystem);
    FakeTask::Ptr installA = journaledTask(journal, "InstallProductTask", "A", true);
    ASSERT_TRUE(subsystem.pushUniqueTask(installA));
    ASSERT_TRUE(WaitFor([&] { return installA->started.load(); }));

    EXPECT_FALSE(subsystem.pushUniqueTask(journaledTask(journal, "InstallProductTask", "A")));
    EXPECT_TRUE(subsystem.pushUniqueTask(journaledTask(journal, "InstallProductTask", "B")));

    installA->letFinish();
    ASSERT_TRUE(WaitFor([&] { return journal.contains("finished B"); }));
    EXPECT_EQ((std::vector<std::string>{"ran InstallProductTask A", "finished A", "ran InstallProductTask B",
                                        "finished B"}),
              journal.entries());
}

TEST_F(TaskSubsystemTest, TaskWithoutGameIdFiresNoTaskFinishedEvent) {
    SubSystem subsystem("short");
    subscribe(subsystem);
    ASSERT_TRUE(subsystem.pushUniqueTask(journaledTask(journal, "CheckAPIStatusTask", "")));
    ASSERT_TRUE(subsystem.pushUniqueTask(journaledTask(journal, "InstallProductTask", "7")));

    ASSERT_TRUE(WaitFor([&] { return journal.contains("finished 7"); }));
    EXPECT_EQ((std::vector<std::string>{"ran CheckAPIStatusTask", "ran InstallProductTask 7", "finished 7"}),
              journal.entries());
}

TEST_F(TaskSubsystemTest, AbortOnAnIdleSubsystemStopsItAndQueuedTasksNeverRun) {
    FakeTask::Ptr late = new FakeTask("LoadProductsTask");
    {
        SubSystem subsystem("short");
        subscribe(subsystem);
        subsystem.abortCurrentTask();
        ASSERT_TRUE(WaitFor([&] { return journal.contains("stopped"); }));

        // A stopped subsystem still takes tasks but never runs them.
        EXPECT_TRUE(subsystem.pushUniqueTask(late));
        EXPECT_EQ(2, late->referenceCount());
    }
    EXPECT_FALSE(late->started);
    EXPECT_EQ(1, late->referenceCount()) << "destruction drops the tasks that never ran";
    EXPECT_EQ(std::vector<std::string>{"stopped"}, journal.entries());
}

TEST_F(TaskSubsystemTest, AbortingTheRunningTaskOfAClassKeepsTheSubsystemServing) {
    SubSystem subsystem("installer");
    subscribe(subsystem);
    FakeTask::Ptr other = new FakeTask("FixDirectoryPrivilegesTask", "", true);
    FakeTask::Ptr install = new FakeTask("InstallProductTask", "A", true);
    FakeTask::Ptr later = new FakeTask("InstallProductTask", "B");
    ASSERT_TRUE(subsystem.pushUniqueTask(other));
    ASSERT_TRUE(subsystem.pushUniqueTask(install));
    ASSERT_TRUE(WaitFor([&] { return other->started.load(); }));
    subsystem.abortRunningTask("InstallProductTask");
    EXPECT_EQ(0, other->abortCalls) << "only a task of the class is aborted";
    other->letFinish();

    ASSERT_TRUE(WaitFor([&] { return install->started.load(); }));
    subsystem.abortRunningTask("InstallProductTask");
    EXPECT_EQ(1, install->abortCalls);
    ASSERT_TRUE(subsystem.pushUniqueTask(later));
    EXPECT_TRUE(WaitFor([&] { return later->finished.load(); }));
    EXPECT_FALSE(subsystem.hasStopped());
    EXPECT_FALSE(journal.contains("stopped"));
}

TEST_F(TaskSubsystemTest, AbortStopsTheRunningTaskAndFiresStoppedOnlyAfterItReturns) {
    FakeTask::Ptr queued = new FakeTask("InstallProductTask", "B");
    {
        SubSystem subsystem("installer");
        subscribe(subsystem);
        FakeTask::Ptr running = journaledTask(journal, "InstallProductTask", "A", true);
        ASSERT_TRUE(subsystem.pushUniqueTask(running));
        ASSERT_TRUE(subsystem.pushUniqueTask(queued));
        ASSERT_TRUE(WaitFor([&] { return running->started.load(); }));

        subsystem.abortCurrentTask();
        ASSERT_TRUE(WaitFor([&] { return journal.contains("stopped"); }));
        EXPECT_EQ(1, running->abortCalls);
        EXPECT_TRUE(running->finished);
    }
    // The aborted task still ends its turn normally, so its game's finished event precedes the stop.
    EXPECT_EQ((std::vector<std::string>{"ran InstallProductTask A", "finished A", "stopped"}), journal.entries());
    EXPECT_FALSE(queued->started);
}

TEST_F(TaskSubsystemTest, AuthLossReachesOnlyTheRunningTask) {
    SubSystem subsystem("installer");
    subsystem.onAuthLost();  // idle: nothing to tell

    FakeTask::Ptr running = new FakeTask("SignInUserTask", "", true);
    FakeTask::Ptr queued = new FakeTask("InstallProductTask", "1");
    ASSERT_TRUE(subsystem.pushUniqueTask(running));
    ASSERT_TRUE(subsystem.pushUniqueTask(queued));
    ASSERT_TRUE(WaitFor([&] { return running->started.load(); }));

    subsystem.onAuthLost();
    EXPECT_EQ(1, running->authLostCalls);
    EXPECT_EQ(0, queued->authLostCalls);
    running->letFinish();
    ASSERT_TRUE(WaitFor([&] { return queued->finished.load(); }));
}

TEST_F(TaskSubsystemTest, DestructionAbortsTheRunningTaskAndJoins) {
    FakeTask::Ptr running = new FakeTask("InstallProductTask", "1", true);
    {
        SubSystem subsystem("installer");
        ASSERT_TRUE(subsystem.pushUniqueTask(running));
        ASSERT_TRUE(WaitFor([&] { return running->started.load(); }));
    }
    EXPECT_EQ(1, running->abortCalls);
    EXPECT_TRUE(running->finished);
    EXPECT_EQ(1, running->referenceCount());
}

TEST_F(TaskSubsystemTest, NullTaskIsAnError) {
    SubSystem subsystem("short");
    EXPECT_THROW(subsystem.pushUniqueTask(ClientTask::Ptr()), Poco::NullPointerException);
}

TEST_F(TaskSubsystemTest, GroupRunsSubTasksInOrderOnOneThreadThenReportsOnce) {
    SubSystem subsystem("short");
    MultiTask::Ptr group = new MultiTask();
    group->finishedEvent += Poco::delegate(&journal, &Journal::onGroupFinished);
    FakeTask::Ptr status = journaledTask(journal, "CheckAPIStatusTask", "");
    FakeTask::Ptr library = journaledTask(journal, "LoadProductsTask", "");
    group->addSubTask(status);
    group->addSubTask(library);
    ASSERT_TRUE(subsystem.pushUniqueTask(group));

    ASSERT_TRUE(WaitFor([&] { return journal.contains("group finished"); }));
    // A second report would come before the group's turn ends, which frees its identity.
    ASSERT_TRUE(WaitFor([&] { return subsystem.pushUniqueTask(new MultiTask()); }));
    EXPECT_EQ((std::vector<std::string>{"ran CheckAPIStatusTask", "ran LoadProductsTask", "group finished"}),
              journal.entries());
    EXPECT_EQ("SubSystem short thread", status->threadName());
    EXPECT_EQ("SubSystem short thread", library->threadName());
}

// Both an abort and a loss of authentication stop a group between its sub-tasks.
class InterruptedGroupTest : public TaskSubsystemTest, public ::testing::WithParamInterface<bool> {};

TEST_P(InterruptedGroupTest, RunsNoFurtherSubTaskAndFiresNoFinishedEvent) {
    const bool byAbort = GetParam();
    SubSystem subsystem("short");
    subscribe(subsystem);
    MultiTask::Ptr group = new MultiTask();
    group->finishedEvent += Poco::delegate(&journal, &Journal::onGroupFinished);
    FakeTask::Ptr first = journaledTask(journal, "CheckAPIStatusTask", "", true);
    FakeTask::Ptr second = journaledTask(journal, "LoadProductsTask", "");
    group->addSubTask(first);
    group->addSubTask(second);
    ASSERT_TRUE(subsystem.pushUniqueTask(group));
    ASSERT_TRUE(WaitFor([&] { return first->started.load(); }));

    if (byAbort) {
        subsystem.abortCurrentTask();
        ASSERT_TRUE(WaitFor([&] { return journal.contains("stopped"); }));
    } else {
        subsystem.onAuthLost();
        first->letFinish();
        // The group's turn is over once the same identity can be pushed again.
        ASSERT_TRUE(WaitFor([&] { return subsystem.pushUniqueTask(new MultiTask()); }));
    }
    EXPECT_EQ(byAbort ? 1 : 0, first->abortCalls);
    EXPECT_EQ(byAbort ? 0 : 1, first->authLostCalls);
    EXPECT_EQ(byAbort ? 1 : 0, second->abortCalls);
    EXPECT_EQ(byAbort ? 0 : 1, second->authLostCalls);
    EXPECT_FALSE(second->started);
    EXPECT_FALSE(journal.contains("group finished"));
}

INSTANTIATE_TEST_SUITE_P(AbortOrAuthLoss, InterruptedGroupTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "Abort" : "AuthLoss";
                         });

}  // namespace
