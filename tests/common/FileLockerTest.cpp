#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <Poco/File.h>
#include <gtest/gtest.h>

#include "common/FileLocker.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "support/FileProbes.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {


class FileLockerTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override { Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log")); }
};

}  // namespace

TEST_F(FileLockerTest, ReleasedFilesGetTheirOwnModeBackAndPlaceholdersGo) {
    struct File {
        const char* name;
        mode_t mode;
    } files[] = {{"private", 0600}, {"shared", 0644}, {"program", 0755}, {"group", 0640}, {"pipe", 0604}};
    std::vector<std::string> paths;
    for (const File& file : files) {
        const std::string path = sandbox.path(file.name);
        if (std::string(file.name) == "pipe") {
            // Would block an open that waits for a writer.
            ASSERT_EQ(0, ::mkfifo(path.c_str(), file.mode));
        } else {
            sandbox.writeFile(file.name, "x");
        }
        ASSERT_EQ(0, ::chmod(path.c_str(), file.mode));
        paths.push_back(path);
    }
    sandbox.writeFile("outside", "x");
    ASSERT_EQ(0, ::chmod(sandbox.path("outside").c_str(), 0600));
    ASSERT_EQ(0, ::symlink(sandbox.path("outside").c_str(), sandbox.path("link").c_str()));
    const std::string placeholder = sandbox.path("new/deeper/file");
    paths.push_back(sandbox.path("link"));
    paths.push_back(placeholder);

    {
        FileLocker locker(paths);
        ASSERT_TRUE(locker.isLocked());
        for (const File& file : files) {
            SCOPED_TRACE(file.name);
            EXPECT_EQ(file.mode | 0004, VantisTest::ModeOf(sandbox.path(file.name)));
        }
        EXPECT_TRUE(VantisTest::ExistsNoFollow(placeholder));
        EXPECT_EQ(0600u, VantisTest::ModeOf(sandbox.path("outside")));

        EXPECT_TRUE(locker.releaseLock(sandbox.path("private")));
        EXPECT_FALSE(locker.releaseLock(sandbox.path("private")));
        EXPECT_EQ(0600u, VantisTest::ModeOf(sandbox.path("private")));
        EXPECT_TRUE(locker.releaseLock(placeholder));
        EXPECT_FALSE(VantisTest::ExistsNoFollow(placeholder));
    }
    // The destructor gave back the rest.
    for (const File& file : files) {
        SCOPED_TRACE(file.name);
        EXPECT_EQ(file.mode, VantisTest::ModeOf(sandbox.path(file.name)));
    }
    EXPECT_EQ(0600u, VantisTest::ModeOf(sandbox.path("outside")));
    EXPECT_FALSE(VantisTest::ExistsNoFollow(placeholder));
}

TEST_F(FileLockerTest, AFailedLockGivesBackEveryLockTaken) {
    sandbox.writeFile("first", "x");
    ASSERT_EQ(0, ::chmod(sandbox.path("first").c_str(), 0640));
    VantisTest::MakeSocket(sandbox.path("socket"));
    const std::vector<std::string> paths = {sandbox.path("first"), sandbox.path("placeholder"), sandbox.path("socket"),
                                            sandbox.path("never-reached")};

    FileLocker locker;
    EXPECT_FALSE(locker.performLock(paths));
    EXPECT_FALSE(locker.isLocked());
    EXPECT_EQ(sandbox.path("socket"), locker.getFailedFile());
    EXPECT_EQ(0640u, VantisTest::ModeOf(sandbox.path("first")));
    EXPECT_FALSE(VantisTest::ExistsNoFollow(sandbox.path("placeholder")));
    EXPECT_FALSE(VantisTest::ExistsNoFollow(sandbox.path("never-reached")));
    EXPECT_NE(std::string::npos,
              RecentMemoryBufferChannel::Instance().getContents().find(
                  "FileLocker: File '" + sandbox.path("socket") +
                  "' could not be open with exclusive access rights. Cannot perform lock on this file."));
}
