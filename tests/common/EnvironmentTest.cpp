#include <sys/stat.h>

#include <cstdlib>

#include <Poco/File.h>
#include <gtest/gtest.h>

#include "common/ApplicationEnvironment.h"
#include "common/Constants.h"
#include "common/EngineSettings.h"
#include "common/UserPreferences.h"
#include "support/Sandbox.h"
#include "net/HostProvider.h"

using namespace VantisClient;

namespace {

class EnvironmentTest : public VantisTest::SandboxTest {};

}  // namespace

TEST_F(EnvironmentTest, FixedDirectoriesLiveBelowTheRoot) {
    EXPECT_EQ(sandbox.root(), ApplicationEnvironment::GetApplicationSupportRootPath());
    EXPECT_EQ(sandbox.root() + "/WebCache", ApplicationEnvironment::GetWebcachePath());
    EXPECT_EQ(sandbox.root() + "/IconsCache", ApplicationEnvironment::GetIconCachePath());
    EXPECT_EQ(sandbox.root() + "/Downloads", ApplicationEnvironment::GetDownloadsPath());
    EXPECT_EQ(sandbox.root() + "/Logs", ApplicationEnvironment::GetLogsPath());

    const EngineSettings settings = EngineSettings::OfThisUser();
    EXPECT_EQ(sandbox.root() + "/Downloads", settings.downloadsPath);
    EXPECT_EQ(sandbox.root() + "/Storage", settings.storagePath);
    EXPECT_EQ(sandbox.root() + "/Library", settings.libraryPath);
    EXPECT_EQ(sandbox.root() + "/Support", settings.supportPath);
    EXPECT_EQ(0u, settings.downloadSpeedLimit);
    EXPECT_EQ(UserPreferences::DEFAULT_PARTS_IN_FLIGHT, settings.partsInFlight);
}

TEST_F(EnvironmentTest, WithoutVantisHomeTheDataDirectoryIsCreatedOwnerOnly) {
    ::unsetenv("VANTIS_HOME");
    ::setenv("XDG_DATA_HOME", sandbox.path("xdg").c_str(), 1);
    std::string root = ApplicationEnvironment::GetApplicationSupportRootPath();
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(sandbox.path("xdg/Vantis"), root);
    struct stat status {};
    ASSERT_EQ(0, ::stat(root.c_str(), &status));
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(0700u, status.st_mode & 0777u);
}

TEST_F(EnvironmentTest, BundleIsTheDirectoryAboveBinOrTheOverride) {
    ::setenv("VANTIS_BUNDLE", "/opt/vantis", 1);
    EXPECT_EQ("/opt/vantis", ApplicationEnvironment::GetExecutableDirectoryPath());
    ::unsetenv("VANTIS_BUNDLE");
    std::string bundle = ApplicationEnvironment::GetExecutableDirectoryPath();
    EXPECT_FALSE(bundle.empty());
    EXPECT_TRUE(Poco::File(bundle).isDirectory());
}

TEST(Constants, PlatformValues) {
    EXPECT_STREQ("linux", OPERATING_SYSTEM_STRING);
    EXPECT_STREQ("vantis-client-config.json", API_STATUS_FILENAME);
    EXPECT_EQ(std::string(API_STATUS_ENDPOINT_HOST_PRODUCTION), Http::HostProvider::Instance()->getConfigHost());
    EXPECT_EQ(17u, std::string(CLIENT_ID).size());
    EXPECT_EQ(64u, std::string(CLIENT_SECRET).size());
    EXPECT_EQ("/problem.php", std::string(PROBLEM_REPORTER_ENDPOINT).substr(std::string(PROBLEM_REPORTER_ENDPOINT).size() - 12));
}
