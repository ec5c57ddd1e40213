#include <string>
#include <vector>

#include <Poco/NotificationQueue.h>
#include <gtest/gtest.h>

#include "common/AbortSignal.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/Utilities.h"
#include "install/DirtyFilesSerializer.h"
#include "install/NotificationsManager.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "install/ResultNotification.h"
#include "model/RemoteFileDefinition.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

// Every batch as the "path:state" texts of its records.
class RecordingCallback : public ProductFilesSynchronizerCallbackInterface {
public:
    bool serializeProductInfo() override { return true; }
    bool serializeProductInfoToIndex() override { return true; }
    bool serializeFileState(Poco::SharedPtr<InstalledFileInfo>) override { return ++singleWrites > 0; }
    bool serializeFilesStates(std::vector<Poco::SharedPtr<InstalledFileInfo>>& files) override {
        return record(installedBatches, files);
    }
    bool serializeFileState(Poco::SharedPtr<DownloadingFileInfo>) override { return ++singleWrites > 0; }
    bool serializeFilesStates(std::vector<Poco::SharedPtr<DownloadingFileInfo>>& files) override {
        return record(downloadingBatches, files);
    }
    void postNotification_Progress() override {}
    void postNotification_StatusCode(EInstallStatusCode) override {}

    using Batches = std::vector<std::vector<std::string>>;
    template <class Record>
    static bool record(Batches& batches, const std::vector<Poco::SharedPtr<Record>>& files) {
        batches.emplace_back();
        for (const auto& file : files) {
            batches.back().push_back(file->getFileInfo().getPath() + ":" + std::to_string(file->getState()));
        }
        return true;
    }

    Batches installedBatches;
    Batches downloadingBatches;
    int singleWrites = 0;
};

InstalledFileInfo::Ptr installed(const std::string& path) {
    return new InstalledFileInfo(FileType::Game, path, InstalledFileInfo::Unverified, "/games/x/" + path);
}

DownloadingFileInfo::Ptr downloading(const std::string& path) {
    RemoteFileDefinition::Ptr definition = new RemoteFileDefinition(
        FileInformation(FileType::Game, path, "0123456789abcdef0123456789abcdef", 10), RemoteFileLocation("u", 0),
        RemoteFileDefinition::DEFAULT_PART_SIZE);
    return new DownloadingFileInfo(definition, "/downloads", DownloadingFileInfo::Queued);
}

// A record read back from storage, before its definition is attached.
DownloadingFileInfo::Ptr stored(const std::string& path) {
    return new DownloadingFileInfo(FileType::Game, path, DownloadingFileInfo::Queued, "/downloads/" + path);
}

class DirtyFilesSerializerTest : public ::testing::Test {
protected:
    RecordingCallback callback;
    AbortSignal::Ptr abortSignal = new AbortSignal;
    DirtyFilesSerializer serializer{callback, abortSignal};
};

}  // namespace

TEST_F(DirtyFilesSerializerTest, ChangesBetweenFlushesCostOneWritePerFileAndOneCallPerKind) {
    InstalledFileInfo::Ptr a = installed("a");
    DownloadingFileInfo::Ptr d = downloading("d");
    DownloadingFileInfo::Ptr s = stored("s");
    serializer.queue(a);
    serializer.queue(installed("b"));
    serializer.queue(d);
    serializer.queue(s);
    a->hashingStarted();
    serializer.queue(a);
    d->downloadStarted();
    serializer.queue(d);
    serializer.queue(s);
    serializer.process();  // not ten seconds yet
    EXPECT_TRUE(callback.installedBatches.empty());

    serializer.flush();
    EXPECT_EQ((RecordingCallback::Batches{{"a:1001", "b:1000"}}), callback.installedBatches);
    EXPECT_EQ((RecordingCallback::Batches{{"d:2002", "s:2001"}}), callback.downloadingBatches);
    EXPECT_EQ(0, callback.singleWrites);

    // After a flush the same file is written again, once.
    a->hashingComplete("0123456789abcdef0123456789abcdef");
    serializer.queue(a);
    serializer.queue(a);
    serializer.flush();
    EXPECT_EQ((RecordingCallback::Batches{{"a:1001", "b:1000"}, {"a:1002"}}), callback.installedBatches);
    EXPECT_EQ(1u, callback.downloadingBatches.size());
}

TEST_F(DirtyFilesSerializerTest, AnEmptyOrAbortedFlushWritesNothingAndStillRestartsTheClock) {
    Poco::Timestamp before = serializer.getLastFlushTime();
    while (!before.isElapsed(1000)) {
    }
    serializer.flush();
    EXPECT_GT(serializer.getLastFlushTime(), before);

    serializer.queue(installed("a"));
    serializer.queue(downloading("d"));
    abortSignal->raise();
    serializer.flush();
    EXPECT_TRUE(callback.installedBatches.empty());
    EXPECT_TRUE(callback.downloadingBatches.empty());
}

namespace {

class KindA : public OperationFeedback {
public:
    uint64_t getId() const override { return Utilities::Hash64bit("KindA"); }
};
class KindB : public OperationFeedback {
public:
    uint64_t getId() const override { return Utilities::Hash64bit("KindB"); }
};
class Unknown : public OperationFeedback {
public:
    uint64_t getId() const override { return Utilities::Hash64bit("Unknown"); }
};

class Worker {
public:
    void onA(const OperationFeedback*) { handled.push_back("A"); }
    void onB(const OperationFeedback*) { handled.push_back("B"); }
    std::vector<std::string> handled;
};

}  // namespace

TEST(NotificationsManager, DispatchesByTypeAndSkipsUnknownResults) {
    VantisTest::Sandbox sandbox;
    Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    NotificationsManager<Worker> dispatcher;
    dispatcher.registerHandler(Utilities::Hash64bit("KindA"), &Worker::onA);
    dispatcher.registerHandler(Utilities::Hash64bit("KindB"), &Worker::onB);

    Poco::NotificationQueue queue;
    for (OperationFeedback* feedback : std::vector<OperationFeedback*>{new KindB, new Unknown, new KindA, new KindB}) {
        queue.enqueueNotification(new ResultNotification(feedback));
    }
    Worker worker;
    dispatcher.process(&worker, queue);
    EXPECT_EQ((std::vector<std::string>{"B", "A", "B"}), worker.handled);
    EXPECT_TRUE(queue.empty());
    EXPECT_NE(std::string::npos, RecentMemoryBufferChannel::Instance().getContents().find(
                                     "No handler registered for VantisTypeId " +
                                     std::to_string(Utilities::Hash64bit("Unknown"))));
    dispatcher.process(&worker, queue);  // nothing left: returns at once
    EXPECT_EQ(3u, worker.handled.size());
}
