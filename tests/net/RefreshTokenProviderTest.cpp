#include <sys/stat.h>

#include <memory>

#include <Poco/DigestEngine.h>
#include <Poco/File.h>
#include <Poco/MD5Engine.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "net/RefreshTokenProvider.h"
#include "platform/LinuxApplicationPaths.h"
#include "platform/Platform.h"
#include "support/Sandbox.h"

using VantisClient::RefreshTokenProvider;

namespace {

// The real paths, under another account's name.
class AccountPaths : public VantisClient::LinuxApplicationPaths {
public:
    explicit AccountPaths(std::string name) : m_name(std::move(name)) {}
    std::string accountName() override { return m_name; }

private:
    std::string m_name;
};

std::string md5Of(const std::string& text) {
    Poco::MD5Engine md5;
    md5.update(text);
    return Poco::DigestEngine::digestToHex(md5.digest());
}

class RefreshTokenProviderTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override { VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log")); }

    static void actAs(const std::string& account) {
        VantisClient::Platform::SetPaths(std::make_shared<AccountPaths>(account));
    }

    unsigned mode() const {
        struct stat status {};
        ::stat(sandbox.path("Tokens.json").c_str(), &status);
        return status.st_mode & 0777u;
    }

    static bool logged(const std::string& line) {
        return VantisClient::RecentMemoryBufferChannel::Instance().getContents().find(line) != std::string::npos;
    }
};

}  // namespace

TEST_F(RefreshTokenProviderTest, EachAccountKeepsItsOwnTokenInAnOwnerOnlyFile) {
    std::string token;
    EXPECT_FALSE(RefreshTokenProvider::get(token));
    actAs("alice");
    ASSERT_TRUE(RefreshTokenProvider::set("alice-token"));
    EXPECT_EQ(0600u, mode());
    actAs("bob");
    ASSERT_TRUE(RefreshTokenProvider::set("bob-token"));
    EXPECT_EQ(0600u, mode());
    const std::string stored = sandbox.readFile("Tokens.json");
    EXPECT_NE(std::string::npos, stored.find("\"" + md5Of("alice") + "\":\"alice-token\""));
    EXPECT_NE(std::string::npos, stored.find("\"" + md5Of("bob") + "\":\"bob-token\""));

    RefreshTokenProvider::remove();
    EXPECT_FALSE(RefreshTokenProvider::get(token));
    EXPECT_EQ(0600u, mode());
    actAs("alice");
    ASSERT_TRUE(RefreshTokenProvider::get(token));
    EXPECT_EQ("alice-token", token);
}

TEST_F(RefreshTokenProviderTest, EmptyCorruptAndInterruptedFilesAreHandled) {
    std::string token;
    actAs("alice");
    sandbox.writeFile("Tokens.json", "{\"" + md5Of("alice") + "\": \"\"}");
    EXPECT_FALSE(RefreshTokenProvider::get(token));
    EXPECT_TRUE(logged("Failed to get user refreshToken"));

    // A crash between writing the temporary file and renaming it leaves the old file whole.
    ASSERT_TRUE(RefreshTokenProvider::set("first"));
    sandbox.writeFile("Tokens.json.tmp", "{\"half");
    ASSERT_TRUE(RefreshTokenProvider::get(token));
    EXPECT_EQ("first", token);
    ASSERT_TRUE(RefreshTokenProvider::set("second"));
    ASSERT_TRUE(RefreshTokenProvider::get(token));
    EXPECT_EQ("second", token);

    sandbox.writeFile("Tokens.json", "{not json");
    EXPECT_FALSE(RefreshTokenProvider::get(token));
    EXPECT_TRUE(logged("Failed to deserialize file "));
    ASSERT_TRUE(RefreshTokenProvider::set("fresh"));
    ASSERT_TRUE(RefreshTokenProvider::get(token));
    EXPECT_EQ("fresh", token);
    EXPECT_EQ(0600u, mode());
}

TEST_F(RefreshTokenProviderTest, RemovingFromAnUnreadableFileLeavesNoTokenOfTheAccount) {
    actAs("alice");
    const std::string key = md5Of("alice");
    for (const std::string& unreadable :
         {"{\"" + key + "\":\"alice-secret\", \"cut short", "[\"" + key + "\", \"alice-secret\"]",
          "\"" + key + "\":\"alice-secret\"", std::string("alice-secret\0\xff", 14)}) {
        SCOPED_TRACE(unreadable);
        sandbox.writeFile("Tokens.json", unreadable);
        RefreshTokenProvider::remove();
        EXPECT_EQ(std::string::npos, VantisTest::ReadWholeFile(sandbox.path("Tokens.json")).find("alice-secret"));
        std::string token;
        EXPECT_FALSE(RefreshTokenProvider::get(token));
        // The store works again afterwards.
        ASSERT_TRUE(RefreshTokenProvider::set("fresh"));
        ASSERT_TRUE(RefreshTokenProvider::get(token));
        EXPECT_EQ("fresh", token);
    }
}
