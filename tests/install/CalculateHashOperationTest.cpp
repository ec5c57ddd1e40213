#include <sys/stat.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include <Poco/DigestEngine.h>
#include <Poco/MD5Engine.h>
#include <Poco/NotificationQueue.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "install/CalculateHashFeedback.h"
#include "install/CalculateHashOperation.h"
#include "install/NotificationsManager.h"
#include "install/OperationsManager.h"
#include "common/Utilities.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

using namespace VantisClient;

namespace {

std::string referenceMd5(const std::string& contents) {
    Poco::MD5Engine engine;
    engine.update(contents);
    return Poco::DigestEngine::digestToHex(engine.digest());
}

class CalculateHashTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override { Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log")); }
    std::string recent() { return RecentMemoryBufferChannel::Instance().getContents(); }
    std::atomic<bool> abortFlag{false};
};

// Takes the hash results of a scan, as its owner would.
class HashResults {
public:
    void onHash(const OperationFeedback* feedback) {
        auto* hash = static_cast<const CalculateHashFeedback*>(feedback);
        byPath[hash->getRelativePath()] = std::to_string(hash->getErrorCode()) + ":" + hash->getHash();
    }
    std::map<std::string, std::string> byPath;
};

}  // namespace

TEST_F(CalculateHashTest, DigestsOfFilesAcrossReadBlocks) {
    struct Case {
        const char* name;
        std::string contents;
    } cases[] = {
        {"empty", ""},
        {"abc", "abc"},
        {"one block", std::string(CalculateHashOperation::READ_SIZE, 'b')},
        {"blocks and a tail", std::string(2 * CalculateHashOperation::READ_SIZE + 7, 'c')},
    };
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", referenceMd5(""));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", referenceMd5("abc"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.writeFile(c.name, c.contents);
        std::string hash;
        ASSERT_TRUE(CalculateHashOperation::calculateHash(sandbox.path(c.name), hash, abortFlag));
        EXPECT_EQ(referenceMd5(c.contents), hash);
    }
}

TEST_F(CalculateHashTest, UnreadableFilesAndAbortsFailWithoutAHash) {
    sandbox.writeFile("dir/file", "x");
    // Nobody writes into the pipe: opening it for reading must not wait for a writer.
    ASSERT_EQ(0, ::mkfifo(sandbox.path("pipe").c_str(), 0600));
    for (const std::string name : {"missing", "dir", "pipe"}) {
        SCOPED_TRACE(name);
        std::string hash = "untouched";
        EXPECT_FALSE(CalculateHashOperation::calculateHash(sandbox.path(name), hash, abortFlag));
        EXPECT_EQ("untouched", hash);
        EXPECT_NE(std::string::npos, recent().find("Calculating hash for file " + sandbox.path(name) + " failed."));
    }
    abortFlag = true;
    CalculateHashOperation operation("dir/file", sandbox.path("dir/file"));
    std::unique_ptr<OperationFeedback> aborted(operation.doWork(abortFlag));
    auto* feedback = static_cast<CalculateHashFeedback*>(aborted.get());
    EXPECT_EQ(1, feedback->getErrorCode());
    EXPECT_EQ("", feedback->getHash());
    EXPECT_EQ(std::string::npos, recent().find("Calculating hash for file " + sandbox.path("dir/file") + " failed."));
}

TEST_F(CalculateHashTest, HashesComputedByTheWorkersReachTheirHandler) {
    sandbox.writeFile("Game/a.dat", "abc");
    sandbox.writeFile("Game/b.dat", "");
    Poco::SharedPtr<Poco::NotificationQueue> results = new Poco::NotificationQueue;
    OperationsManager manager(results);
    manager.setMaxWorkers(2);
    manager.performAsync(new CalculateHashOperation("Game/a.dat", sandbox.path("Game/a.dat")));
    manager.performAsync(new CalculateHashOperation("Game/b.dat", sandbox.path("Game/b.dat")));
    manager.performAsync(new CalculateHashOperation("Game/c.dat", sandbox.path("Game/c.dat")));

    NotificationsManager<HashResults> dispatcher;
    dispatcher.registerHandler(Utilities::Hash64bit("CalculateHashFeedback"), &HashResults::onHash);
    HashResults hashes;
    ASSERT_TRUE(VantisTest::WaitFor([&] {
        dispatcher.process(&hashes, *results);
        return hashes.byPath.size() == 3;
    }));
    EXPECT_EQ("0:900150983cd24fb0d6963f7d28e17f72", hashes.byPath["Game/a.dat"]);
    EXPECT_EQ("0:d41d8cd98f00b204e9800998ecf8427e", hashes.byPath["Game/b.dat"]);
    EXPECT_EQ("1:", hashes.byPath["Game/c.dat"]);
}
