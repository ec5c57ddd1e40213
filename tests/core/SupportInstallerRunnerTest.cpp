#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <Poco/File.h>
#include <gtest/gtest.h>

#include "core/SupportInstallerRunner.h"
#include "support/Sandbox.h"

namespace VantisClient {
namespace {

const char* const GAME_ID = "1207658924";

// Each argument the installer gets, on a line of its own, in "ran.txt" beside it.
const char* const RECORDING_INSTALLER =
    "#!/bin/sh\nfor argument in \"$@\"; do printf '%s\\n' \"$argument\"; done >> ran.txt\n";

class SupportInstallerRunnerTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        product.setGameId(GAME_ID);
        product.setLocalPath(sandbox.path("Library/Sample Game"));
        product.setSupportPath(sandbox.path("Support/" + std::string(GAME_ID)));
        product.setTargetIdentification(new ProductIdentification(GAME_ID, 42, {GAME_ID, "1207658925"}, "de"));
    }

    // Writes an executable installer below the product's support directory.
    std::string writeInstaller(const std::string& relative, const std::string& script) {
        const std::string path = product.getSupportPath() + "/" + relative;
        sandbox.writeFile(path.substr(sandbox.root().size() + 1), script);
        ::chmod(path.c_str(), 0755);
        return path;
    }

    bool run(const std::string& executable, const std::string& argument = "") {
        return SupportInstallerRunner(product, new AbortSignal).run({RemoteSupportInfo(GAME_ID, executable, argument)});
    }

    ProductInfo product;
};

TEST_F(SupportInstallerRunnerTest, ArgumentsReachTheInstallerVerbatimAndARunIsRecordedOnceUntilTheManifestHasNone) {
    writeInstaller(std::string(GAME_ID) + "/setup.sh", RECORDING_INSTALLER);
    const std::string argument = "--quiet; touch pwned $(id)";
    ASSERT_TRUE(run("setup.sh", argument));
    ASSERT_TRUE(run("setup.sh", argument));

    const std::string once = product.getLocalPath() + "\nde\n" + GAME_ID + ", 1207658925\n" + argument + "\n";
    const std::string directory = product.getSupportPath() + "/" + GAME_ID;
    EXPECT_EQ(once + once, VantisTest::ReadWholeFile(directory + "/ran.txt"));
    EXPECT_FALSE(Poco::File(directory + "/pwned").exists());
    ASSERT_EQ(1u, product.getSupportCommands().size());
    EXPECT_EQ(argument, product.getSupportCommands()[0].argument);

    // A manifest without installers leaves the record of those that ran.
    EXPECT_TRUE(SupportInstallerRunner(product, new AbortSignal).run({}));
    EXPECT_EQ(1u, product.getSupportCommands().size());
}

TEST_F(SupportInstallerRunnerTest, AMissingOrFailingInstallerIsNotRecordedAndOnlyAFailureFailsTheRun) {
    EXPECT_TRUE(run("absent.sh"));
    EXPECT_TRUE(product.getSupportCommands().empty());

    writeInstaller(std::string(GAME_ID) + "/fail.sh", "#!/bin/sh\nexit 3\n");
    EXPECT_FALSE(run("fail.sh"));
    EXPECT_TRUE(product.getSupportCommands().empty());
}

TEST_F(SupportInstallerRunnerTest, AnInstallerReachedThroughALinkedDirectoryIsNotRun) {
    const std::string elsewhere = sandbox.path("elsewhere");
    sandbox.writeFile("elsewhere/setup.sh", RECORDING_INSTALLER);
    ::chmod((elsewhere + "/setup.sh").c_str(), 0755);
    Poco::File(product.getSupportPath()).createDirectories();
    ASSERT_EQ(0, ::symlink(elsewhere.c_str(), (product.getSupportPath() + "/" + GAME_ID).c_str()));

    EXPECT_TRUE(run("setup.sh"));
    EXPECT_FALSE(Poco::File(elsewhere + "/ran.txt").exists());
    EXPECT_TRUE(product.getSupportCommands().empty());
}

}  // namespace
}  // namespace VantisClient
