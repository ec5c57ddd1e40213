#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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
    } files[] = {{"private", 0600}, {"shared", 0644}, {"program", 0755}, {"group", 0640}, {"write-only", 0200}};
    std::vector<std::string> paths;
    for (const File& file : files) {
        const std::string path = sandbox.path(file.name);
        sandbox.writeFile(file.name, "x");
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

TEST_F(FileLockerTest, AnythingButARegularFileFailsTheLockAndEveryLockTakenIsGivenBack) {
    sandbox.writeFile("first", "x");
    ASSERT_EQ(0, ::chmod(sandbox.path("first").c_str(), 0640));
    VantisTest::MakeSocket(sandbox.path("socket"));
    // Would block an open that waits for a writer.
    ASSERT_EQ(0, ::mkfifo(sandbox.path("pipe").c_str(), 0604));
    for (const char* odd : {"socket", "pipe"}) {
        SCOPED_TRACE(odd);
        const std::vector<std::string> paths = {sandbox.path("first"), sandbox.path("placeholder"), sandbox.path(odd),
                                                sandbox.path("never-reached")};
        FileLocker locker;
        EXPECT_FALSE(locker.performLock(paths));
        EXPECT_FALSE(locker.isLocked());
        EXPECT_EQ(sandbox.path(odd), locker.getFailedFile());
        EXPECT_EQ(0640u, VantisTest::ModeOf(sandbox.path("first")));
        EXPECT_FALSE(VantisTest::ExistsNoFollow(sandbox.path("placeholder")));
        EXPECT_FALSE(VantisTest::ExistsNoFollow(sandbox.path("never-reached")));
        EXPECT_NE(std::string::npos, RecentMemoryBufferChannel::Instance().getContents().find(
                                         "FileLocker: Could not remove readonly attribute from file '" +
                                         sandbox.path(odd) + "'. Cannot perform lock on this file."));
    }
    EXPECT_EQ(0604u, VantisTest::ModeOf(sandbox.path("pipe")));
}

// Without /proc (a container, an early boot), changing a mode without following
// a link must still work, or every update would wait for a game in session.
TEST_F(FileLockerTest, LocksWithoutProc) {
    if (::geteuid() != 0) GTEST_SKIP() << "hiding /proc needs a mount namespace of our own";
    sandbox.writeFile("game.pak", "x");
    ASSERT_EQ(0, ::chmod(sandbox.path("game.pak").c_str(), 0640));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool hidden = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                            ::umount2("/proc", MNT_DETACH) == 0;
        if (!hidden) ::_exit(2);
        FileLocker locker;
        const bool locked = locker.performLock(std::vector<std::string>{sandbox.path("game.pak")}) &&
                            VantisTest::ModeOf(sandbox.path("game.pak")) == 0644 && locker.releaseLocks();
        ::_exit(locked ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "could not hide /proc";
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ(0640u, VantisTest::ModeOf(sandbox.path("game.pak")));
}
