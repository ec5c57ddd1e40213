#include <sys/statvfs.h>

#include <memory>

#include <Poco/File.h>
#include <Poco/Path.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/StringUtils.h"
#include "common/Utilities.h"
#include "platform/Platform.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

class UtilitiesTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override { Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log")); }
    std::string recent() { return RecentMemoryBufferChannel::Instance().getContents(); }
};

class FailingSpace : public IFileSystemSpace {
public:
    bool freeBytes(const std::string& path, uint64_t&, std::string& error) override {
        askedFor = path;
        error = "Permission denied";
        return false;
    }
    std::string askedFor;
};

}  // namespace

TEST(Utilities, Hash64bit) {
    struct Case {
        const char* text;
        uint64_t hash;
    } cases[] = {
        {"", 0x2AAAAAAAAAAAAB67ULL},
        {"abc", 0x48B0FCD76AD04747ULL},
        // a byte of 0x80 and above counts as a negative number
        {"\xff", (0x2AAAAAAAAAAAAB67ULL - 1) * 0x2AAAAAAAAAAAAB6FULL},
        {"a", (0x2AAAAAAAAAAAAB67ULL + 'a') * 0x2AAAAAAAAAAAAB6FULL},
    };
    for (const Case& c : cases) EXPECT_EQ(c.hash, Utilities::Hash64bit(c.text)) << c.text;
    EXPECT_NE(Utilities::Hash64bit("Games/a.dat"), Utilities::Hash64bit("Games/A.dat"));
}

TEST(Utilities, PathText) {
    EXPECT_EQ("/Users/Shared/Vantis", Utilities::AppendPath("/Users/Shared", "Vantis"));
    EXPECT_EQ("/a/b/c/d.txt", Utilities::AppendPath(std::string("/a/b/"), std::string("c/d.txt")));
    EXPECT_EQ("Games/x", Utilities::NormalizePath("Games\\x"));
    EXPECT_EQ("a/b/c", Utilities::NormalizePath("a/b/c"));
    EXPECT_EQ("/abs/path", Utilities::MakeAbsolutePath("/abs/path"));
    EXPECT_EQ(Poco::Path::current() + "rel/x", Utilities::MakeAbsolutePath("rel/x"));
}

TEST(Utilities, ReturnCodeDescriptions) {
    EXPECT_EQ("\"Returned successfully.\"", Utilities::GetReturnCodeDescription(0));
    EXPECT_EQ(24u, Utilities::GetReturnCodeDescription(0).size());
    EXPECT_EQ("\"Crash Reporer has not been initialized properly.\"", Utilities::GetReturnCodeDescription(-11));
    EXPECT_EQ("\"Launching Updater; exiting.\"", Utilities::GetReturnCodeDescription(RC_LAUNCHING_UPDATER));
    EXPECT_EQ("\"GameId passed in argument is already installed\"", Utilities::GetReturnCodeDescription(-33));
    for (int32_t unknown : {-26, -28, -29, -34, 1, 100}) {
        EXPECT_EQ("Unknown return code.", Utilities::GetReturnCodeDescription(unknown)) << unknown;
    }
}

TEST(StringUtils, CaseInsensitiveMatchAndFormat) {
    EXPECT_TRUE(StringUtils::StringsMatchCaseInsensitive("English", "eNGLISH"));
    EXPECT_FALSE(StringUtils::StringsMatchCaseInsensitive("abc", "abcd"));
    EXPECT_FALSE(StringUtils::StringsMatchCaseInsensitive("\xc3\x89", "\xc3\xa9"));  // only ASCII folds
    EXPECT_EQ("7-x", StringUtils::Format("%d-%s", 7, "x"));
    EXPECT_EQ(16383u, StringUtils::Format("%s", std::string(20000, 'y').c_str()).size());
}

TEST_F(UtilitiesTest, CreateDirectoryForFile) {
    sandbox.writeFile("existing/keep.txt", "kept");
    EXPECT_TRUE(Utilities::CreateDirectoryForFile(sandbox.path("existing/new.txt")));
    EXPECT_EQ("kept", sandbox.readFile("existing/keep.txt"));

    sandbox.writeFile("plain", "a file where a directory belongs");
    EXPECT_TRUE(Utilities::CreateDirectoryForFile(sandbox.path("plain/file.txt")));
    EXPECT_TRUE(Utilities::GetDirectoryExists(sandbox.path("plain")));

    EXPECT_TRUE(Utilities::CreateDirectoryForFile(sandbox.path("deep/er/file.txt")));
    EXPECT_TRUE(Utilities::GetDirectoryExists(sandbox.path("deep/er")));

    EXPECT_FALSE(Utilities::CreateDirectoryForFile("/proc/vantis/none/file.txt"));
    EXPECT_NE(std::string::npos,
              recent().find("Could not create directory for file /proc/vantis/none/file.txt: Error creating directory."));
}

TEST_F(UtilitiesTest, CreateDirectory) {
    EXPECT_TRUE(Utilities::CreateDirectory(sandbox.path("a/b/c")));
    EXPECT_TRUE(Utilities::GetDirectoryExists(sandbox.path("a/b/c")));
    sandbox.writeFile("a/b/c/inside", "stays");
    EXPECT_TRUE(Utilities::CreateDirectory(sandbox.path("a/b/c")));
    EXPECT_EQ("stays", sandbox.readFile("a/b/c/inside"));
    sandbox.writeFile("f", "file");
    EXPECT_TRUE(Utilities::CreateDirectory(sandbox.path("f")));
    EXPECT_TRUE(Utilities::GetDirectoryExists(sandbox.path("f")));
    EXPECT_FALSE(Utilities::CreateDirectory("/proc/vantis-dir"));
    EXPECT_NE(std::string::npos, recent().find("Could not create directory '/proc/vantis-dir'."));
}

TEST_F(UtilitiesTest, ExistenceChecks) {
    sandbox.writeFile("dir/file", "x");
    EXPECT_TRUE(Utilities::GetFileExists(sandbox.path("dir/file")));
    EXPECT_FALSE(Utilities::GetFileExists(sandbox.path("dir")));
    EXPECT_FALSE(Utilities::GetFileExists(sandbox.path("missing")));
    EXPECT_FALSE(Utilities::GetFileExists(sandbox.path("dir/file/below")));
    EXPECT_TRUE(Utilities::GetDirectoryExists(sandbox.path("dir")));
    EXPECT_FALSE(Utilities::GetDirectoryExists(sandbox.path("dir/file")));
}

TEST_F(UtilitiesTest, DeleteFileOrDirectory) {
    std::string before = recent();
    EXPECT_TRUE(Utilities::DeleteFileOrDirectory(sandbox.path("missing")));
    EXPECT_EQ(before, recent());
    sandbox.writeFile("tree/a/b/file", "x");
    EXPECT_TRUE(Utilities::DeleteFileOrDirectory(sandbox.path("tree")));
    EXPECT_FALSE(Poco::File(sandbox.path("tree")).exists());
    sandbox.writeFile("single", "x");
    EXPECT_TRUE(Utilities::DeleteFileOrDirectory(sandbox.path("single")));
    EXPECT_FALSE(Poco::File(sandbox.path("single")).exists());
}

TEST_F(UtilitiesTest, FreeSpaceOfANotYetExistingDirectoryIsItsAncestors) {
    struct statvfs attributes {};
    ASSERT_EQ(0, ::statvfs(sandbox.root().c_str(), &attributes));
    uint64_t expected = static_cast<uint64_t>(attributes.f_bavail) * attributes.f_frsize;
    uint64_t reported = Utilities::GetFreeSpaceForPath(sandbox.path("Games/NotYet/"));
    // Other processes write meanwhile; the same file system answers within a margin.
    EXPECT_NEAR(static_cast<double>(expected), static_cast<double>(reported), 64.0 * 1024 * 1024);
    EXPECT_GT(reported, 0u);
}

TEST_F(UtilitiesTest, FreeSpaceFailureIsLoggedAndZero) {
    auto failing = std::make_shared<FailingSpace>();
    Platform::SetFileSystemSpace(failing);
    EXPECT_EQ(0u, Utilities::GetFreeSpaceForPath(sandbox.path("Games/NotYet/file.bin")));
    EXPECT_EQ(sandbox.root(), failing->askedFor.substr(0, failing->askedFor.size() - 1));
    EXPECT_NE(std::string::npos, recent().find("Could not check free space on path " + failing->askedFor +
                                               ", last error = Permission denied."));
}
