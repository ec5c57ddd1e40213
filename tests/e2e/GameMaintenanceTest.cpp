// The built vantis-client keeping an installed game, against the real backend:
// a verify that reports and repairs exactly what was damaged, an uninstall
// that removes what the install placed and nothing else, a sign-out that
// forgets the stored sign-in, and offline play without a backend.
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "HeadlessClientFixture.h"
#include "support/ProcessProbe.h"

namespace VantisClient {
namespace {

namespace ExitStatus = VantisTest::ExitStatus;

namespace fs = std::filesystem;

using VantisTest::ClientProcess;
using VantisTest::ClientRun;
using VantisTest::HeadlessClientTest;
using VantisTest::Launch;
using VantisTest::OnStoredToken;
using VantisTest::PASSWORD;
using VantisTest::SampleGame;
using VantisTest::SignIn;

// What tells that a file was replaced or written: its inode and its modification time.
using Stamp = std::tuple<ino_t, int64_t, int64_t>;

std::map<std::string, Stamp> stampsBelow(const std::string& root) {
    std::map<std::string, Stamp> stamps;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        struct stat status {};
        if (entry.is_symlink() || !entry.is_regular_file() || ::lstat(entry.path().c_str(), &status) != 0) continue;
        stamps[entry.path().lexically_relative(root).generic_string()] =
            Stamp(status.st_ino, status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
    }
    return stamps;
}

// Every entry below `root`, links not followed, relative to it.
std::set<std::string> entriesBelow(const std::string& root) {
    std::set<std::string> entries;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        entries.insert(it->path().lexically_relative(root).generic_string());
    }
    return entries;
}

bool mentions(const ClientRun& run, const std::string& text) {
    return run.output.find(text) != std::string::npos || run.errors.find(text) != std::string::npos;
}

class GameMaintenanceTest : public HeadlessClientTest {
protected:
    void SetUp() override {
        HeadlessClientTest::SetUp();
        resetServed();
        const ClientRun install = run(SignIn("player", PASSWORD, {"--install"}));
        ASSERT_EQ(0, install.status) << install;
        m_installBytes = objectBytesServed();
    }

    std::string installed(const std::string& relative) const { return installDirectory() + "/" + relative; }

    uint64_t m_installBytes = 0;
};

TEST_F(GameMaintenanceTest, VerifyReportsExactlyTheDamagedAndMissingFilesAndRepairsOnlyThose) {
    const ClientRun intact = run(OnStoredToken({"--verify"}));
    ASSERT_EQ(0, intact.status) << intact;
    EXPECT_TRUE(mentions(intact, "every installed file is intact")) << intact;

    // Same size, other bytes: only a hash tells. One file of zip parts, one of plain parts.
    std::string level = VantisTest::ReadFileBytes(installed("data/level.txt"));
    level[level.size() / 2] ^= 0x20;
    VantisTest::WriteFileBytes(installed("data/level.txt"), level);
    fs::remove(installed("data/noise.bin"));
    std::map<std::string, Stamp> untouched = stampsBelow(installDirectory());
    untouched.erase("data/level.txt");

    const ClientRun reported = run(OnStoredToken({"--verify", "--no-repair"}));
    EXPECT_EQ(ExitStatus::FILES_DAMAGED, reported.status) << reported;
    EXPECT_NE(std::string::npos, reported.output.find("missing: data/noise.bin\ndamaged: data/level.txt\n"))
        << reported;
    EXPECT_FALSE(fs::exists(installed("data/noise.bin")));
    EXPECT_EQ(level, VantisTest::ReadFileBytes(installed("data/level.txt")));

    resetServed();
    const ClientRun repaired = run(OnStoredToken({"--verify"}));
    ASSERT_EQ(0, repaired.status) << repaired;
    EXPECT_NE(std::string::npos, repaired.output.find("missing: data/noise.bin\ndamaged: data/level.txt\n"))
        << repaired;
    expectInstalledAsTheSource("en", true);
    EXPECT_LT(objectBytesServed(), m_installBytes);
    const std::map<std::string, Stamp> after = stampsBelow(installDirectory());
    for (const auto& [path, stamp] : untouched) {
        const auto found = after.find(path);
        EXPECT_TRUE(found != after.end() && found->second == stamp) << path << " was written again";
    }
}

TEST_F(GameMaintenanceTest, UninstallRemovesWhatTheInstallPlacedAndNothingElse) {
    // A save in a directory the install made, and a link of the user's that leads out of the game.
    VantisTest::WriteFileBytes(installed("saves/slot1.sav"), "level 3");
    const std::string outside = sandbox.path("outside");
    VantisTest::WriteFileBytes(outside + "/keep.txt", "not the game's");
    fs::create_directory_symlink(outside, installed("mods"));

    // A program that holds a file of the game open is the game running.
    ClientProcess game({"/bin/sh", "-c", "exec sleep 600 3<\"$0\"", installed("readme.txt")}, {},
                       sandbox.path("game.out"), sandbox.path("game.err"));
    ASSERT_TRUE(game.started()) << game.error();
    ASSERT_TRUE(VantisTest::ProcessProbe(game.pid()).awaitProgram("sleep"));
    const std::set<std::string> before = entriesBelow(installDirectory());
    const ClientRun refused = run(OnStoredToken({"--uninstall"}));
    EXPECT_EQ(ExitStatus::GAME_BUSY, refused.status) << refused;
    EXPECT_TRUE(mentions(refused, "the game is running")) << refused;
    EXPECT_EQ(before, entriesBelow(installDirectory()));
    game.signal(SIGKILL);
    game.wait(VantisTest::RUN_TIMEOUT_MS);

    const ClientRun removed = run(OnStoredToken({"--uninstall"}));
    ASSERT_EQ(0, removed.status) << removed;
    EXPECT_TRUE(mentions(removed, "kept 2 files the install did not place: mods saves/slot1.sav")) << removed;
    EXPECT_EQ((std::set<std::string>{"mods", "saves", "saves/slot1.sav"}), entriesBelow(installDirectory()));
    EXPECT_EQ("not the game's", VantisTest::ReadFileBytes(outside + "/keep.txt"));

    const ClientRun notInstalled = run(OnStoredToken({"--offline", "--play"}));
    EXPECT_EQ(ExitStatus::PLAY_FAILED, notInstalled.status) << notInstalled;
    EXPECT_TRUE(mentions(notInstalled, "not installed")) << notInstalled;

    // The library forgot the game: installing it again fetches every file.
    fs::remove_all(installed("saves"));
    fs::remove(installed("mods"));
    resetServed();
    const ClientRun reinstalled = run(OnStoredToken({"--install"}));
    ASSERT_EQ(0, reinstalled.status) << reinstalled;
    EXPECT_EQ(m_installBytes, objectBytesServed());
    expectInstalledAsTheSource("en", true);
}

TEST_F(GameMaintenanceTest, SignOutForgetsTheStoredSignInAndOfflinePlayNeedsNoBackend) {
    const struct {
        const char* name;
        const char* says;
    } signOuts[] = {{"stored", "the stored sign-in of this account is forgotten"},
                    {"again", "there was nothing to forget"}};
    for (const auto& c : signOuts) {
        SCOPED_TRACE(c.name);
        const ClientRun signedOut = run(OnStoredToken({"--sign-out"}));
        EXPECT_EQ(0, signedOut.status) << signedOut;
        EXPECT_TRUE(mentions(signedOut, c.says)) << signedOut;
    }
    const ClientRun notSignedIn = run(OnStoredToken({"--install"}));
    EXPECT_EQ(ExitStatus::SIGN_IN_FAILED, notSignedIn.status) << notSignedIn;
    EXPECT_TRUE(mentions(notSignedIn, "not signed in")) << notSignedIn;

    // The sample game's program says "game"; once with the backend up (no
    // login page), once with it gone.
    for (const bool backendUp : {true, false}) {
        SCOPED_TRACE(backendUp ? "backend up" : "no backend");
        if (!backendUp) {
            server->stop();
            server.reset();
        }
        const ClientRun played = run(OnStoredToken({"--offline", "--play"}));
        EXPECT_EQ(0, played.status) << played;
        EXPECT_NE(std::string::npos, played.output.find("game\n")) << played;
    }
}

TEST_F(HeadlessClientTest, OptionsThatDoNotGoTogetherAreUsageErrors) {
    const struct {
        std::vector<std::string> options;
        const char* says;
    } cases[] = {
        {{"--offline", "--install"}, "--install needs the backend"},
        {{"--offline", "--verify"}, "--verify needs the backend"},
        {{"--verify", "--install"}, "do not go together"},
        {{"--uninstall", "--play"}, "do not go together"},
        {{"--sign-out", "--user=player"}, "do not go together"},
        {{"--no-repair"}, "--no-repair goes with --verify"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.front() + " " + c.options.back());
        const ClientRun refused = run(Launch{SampleGame::BASE_ID, true, "", c.options});
        EXPECT_EQ(ExitStatus::USAGE, refused.status) << refused;
        EXPECT_TRUE(mentions(refused, c.says)) << refused;
    }
}

}  // namespace
}  // namespace VantisClient
