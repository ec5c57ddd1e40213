// The built vantis-client run as a user or a script runs it, against the real
// backend in this process: sign-in, install, play, the stored token, updates,
// refusals with their exit statuses, and an install stopped by SIGTERM and then
// resumed. Kills and damage are InterruptionAndDamageTest's.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "HeadlessClientFixture.h"
#include "common/EReturnCode.h"

namespace VantisClient {
namespace {

using VantisTest::ClientProcess;
using VantisTest::ClientRun;
using VantisTest::EntriesIn;
using VantisTest::HeadlessClientTest;
using VantisTest::Launch;
using VantisTest::OnStoredToken;
using VantisTest::PASSWORD;
using VantisTest::PollUntil;
using VantisTest::SampleGame;
using VantisTest::SignIn;

// An up-to-date game needs no download: a start that takes longer is waiting for something.
const int UP_TO_DATE_TIMEOUT_MS = 20000;

// The exit statuses the client documents: 10 plus the install result when an
// install failed, and start-up codes as the system reports them.
const int EXIT_INSTALL_ABORTED = 11;
const int EXIT_NOT_AUTHORIZED = 16;
const int EXIT_UNKNOWN_GAME = 18;
const int EXIT_SIGN_IN_FAILED = 20;
const int EXIT_USAGE = 64;
const int EXIT_GAME_ID_NOT_RECOGNIZED = RC_GAME_ID_NOT_RECOGNIZED & 0xFF;

TEST_F(HeadlessClientTest, SignsInInstallsAndPlaysThenStartsOnTheStoredTokenAndFetchesOnlyWhatChanged) {
    // The game says where it runs from, so that its line shows it started from the install.
    VantisTest::WriteFileBytes(input("bin/game"),
                               "#!/bin/sh\necho \"Sample Game is running from $(dirname \"$0\")\"\n");
    ASSERT_EQ(0, chmod(input("bin/game").c_str(), 0755));
    repack(42);

    const ClientRun first = run(SignIn("player", PASSWORD, {"--install", "--play"}));
    ASSERT_EQ(0, first.status) << first;
    expectInstalledAsTheSource("en", true);
    EXPECT_NE(std::string::npos, first.output.find("Sample Game is running from " + installDirectory() + "/bin\n"))
        << first;
    EXPECT_NE(std::string::npos, first.errors.find("Sample Game: Installation Complete.\n")) << first;

    resetServed();
    const auto started = std::chrono::steady_clock::now();
    const ClientRun upToDate = run(OnStoredToken({"--install"}), UP_TO_DATE_TIMEOUT_MS);
    RecordProperty("upToDateRunMs", std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                       std::chrono::steady_clock::now() - started)
                                                       .count()));
    ASSERT_EQ(0, upToDate.status) << upToDate;
    EXPECT_EQ(std::string::npos, upToDate.output.find("Sign-in required")) << upToDate;
    EXPECT_EQ(0u, objectBytesServed());

    const std::string changed = VantisTest::RandomBytes(300000, 11);
    VantisTest::WriteFileBytes(input("data/noise.bin"), changed);
    repack(43);
    resetServed();
    const ClientRun update = run(OnStoredToken({"--install"}));
    ASSERT_EQ(0, update.status) << update;
    expectInstalledAsTheSource("en", true);
    EXPECT_EQ(changed.size(), objectBytesServed());
}

TEST_F(HeadlessClientTest, RefusalsEndWithTheirOwnStatusAndSayWhy) {
    struct Case {
        const char* name;
        Launch launch;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"wrong password", SignIn("player", "not the password", {"--install"}), EXIT_SIGN_IN_FAILED, "sign-in failed"},
        {"game not owned", SignIn("visitor", "guest", {"--install"}), EXIT_NOT_AUTHORIZED, "does not own game"},
        {"unknown game", Launch{"1999999999", true, PASSWORD, {"--user=player", "--install"}}, EXIT_UNKNOWN_GAME,
         "does not know game"},
        {"game id not decimal", Launch{"12ab", true, PASSWORD, {"--user=player", "--install"}},
         EXIT_GAME_ID_NOT_RECOGNIZED, "GameId passed in argument is not recognized"},
        {"no game directory", Launch{SampleGame::BASE_ID, false, PASSWORD, {"--user=player", "--install"}}, EXIT_USAGE,
         "--path=DIR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case starts as a user who never signed in.
        home = sandbox.path(std::string("homes/") + c.name);
        const ClientRun refused = run(c.launch);
        EXPECT_EQ(c.status, refused.status) << refused;
        EXPECT_NE(std::string::npos, refused.errors.find(c.message)) << refused;
        EXPECT_EQ(0u, EntriesIn(installDirectory()));
    }
}

TEST_F(HeadlessClientTest, SigtermStopsARunningInstallWithItsStatusAndTheNextRunCompletesIt) {
    slowDownloads(250);
    const Launch launch = SignIn("player", PASSWORD, {"--install"});
    std::unique_ptr<ClientProcess> client = start(launch);
    ASSERT_TRUE(PollUntil([&] { return objectBytesServed() > 0 || client->hasEnded(); }));
    ASSERT_FALSE(client->hasEnded());
    client->signal(SIGTERM);
    const ClientRun stopped = finish(*client);
    EXPECT_EQ(EXIT_INSTALL_ABORTED, stopped.status) << stopped;
    EXPECT_NE(std::string::npos, stopped.errors.find("interrupted")) << stopped;

    removeFaults();
    const ClientRun resumed = run(launch);
    ASSERT_EQ(0, resumed.status) << resumed;
    expectInstalledAsTheSource("en", true);
}

}  // namespace
}  // namespace VantisClient
