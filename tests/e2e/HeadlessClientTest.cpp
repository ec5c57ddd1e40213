// The built vantis-client run as a user or a script runs it, against the real
// backend in this process: sign-in, install, play, the stored token, updates,
// refusals with their exit statuses, an install stopped by SIGTERM and then
// resumed, and what a played program gets from the client. Kills and damage
// are InterruptionAndDamageTest's.
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <Poco/JSON/Parser.h>
#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "HeadlessClientFixture.h"
#include "common/BuildInfo.h"
#include "support/ProcessProbe.h"

namespace VantisClient {
namespace {

namespace ExitStatus = VantisTest::ExitStatus;

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

// A played program that does not end this long after SIGTERM never will.
const int GAME_STOP_TIMEOUT_MS = 10000;

std::vector<std::string> splitAtZeroBytes(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; std::getline(stream, word, '\0');) words.push_back(word);
    return words;
}

// A run that ends with its own exit status and a line that says why.
struct ExitCase {
    const char* name;
    Launch launch;
    int status;
    const char* message;
};

bool isAlive(pid_t pid) { return ::kill(pid, 0) == 0; }

class PlayTest : public HeadlessClientTest {
protected:
    // A program of the game that records its arguments (NUL-terminated) and
    // its process id under "played/<name>" in the sandbox, then becomes a
    // long sleep: what the test then sees in /proc is what the client gave it.
    void writeRecordingProgram(const std::string& relative) {
        const std::string played = sandbox.path("played");
        VantisTest::WriteFileBytes(input(relative), "#!/bin/sh\nout='" + played +
                                                        "'/$(basename \"$0\")\n"
                                                        "for a in \"$@\"; do printf '%s\\0' \"$a\"; done >\"$out.args\"\n"
                                                        "echo $$ >\"$out.pid\"\n"
                                                        "exec sleep 600\n");
        ASSERT_EQ(0, chmod(input(relative).c_str(), 0755));
        std::filesystem::create_directories(played);
    }

    void setPlayTasks(const std::string& tasks) {
        const std::string path = sandbox.path("input/game.json");
        Poco::JSON::Object::Ptr game =
            Poco::JSON::Parser().parse(VantisTest::ReadFileBytes(path)).extract<Poco::JSON::Object::Ptr>();
        game->set("playTasks", Poco::JSON::Parser().parse(tasks));
        std::ostringstream text;
        game->stringify(text);
        VantisTest::WriteFileBytes(path, text.str());
    }

    std::string played(const std::string& file) const { return VantisTest::ReadFileBytes(sandbox.path("played/" + file)); }

    // The played program once it has become the sleep; 0 when it never did.
    pid_t playedProgram(const std::string& name, ClientProcess& client) const {
        pid_t pid = 0;
        PollUntil([&] {
            pid = static_cast<pid_t>(std::atoi(played(name + ".pid").c_str()));
            return pid > 0 || client.hasEnded();
        });
        return pid > 0 && VantisTest::ProcessProbe(pid).awaitProgram("sleep") ? pid : 0;
    }
};

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
    const ExitCase cases[] = {
        {"wrong password", SignIn("player", "not the password", {"--install"}), ExitStatus::SIGN_IN_FAILED, "sign-in failed"},
        {"game not owned", SignIn("visitor", "guest", {"--install"}), ExitStatus::NOT_AUTHORIZED, "does not own game"},
        {"unknown game", Launch{"1999999999", true, PASSWORD, {"--user=player", "--install"}}, ExitStatus::UNKNOWN_GAME,
         "does not know game"},
        {"game id not decimal", Launch{"12ab", true, PASSWORD, {"--user=player", "--install"}},
         ExitStatus::GAME_ID_NOT_RECOGNIZED, "GameId passed in argument is not recognized"},
        {"no game directory", Launch{SampleGame::BASE_ID, false, PASSWORD, {"--user=player", "--install"}}, ExitStatus::USAGE,
         "--path=DIR"},
    };
    for (const ExitCase& c : cases) {
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
    EXPECT_EQ(ExitStatus::INSTALL_ABORTED, stopped.status) << stopped;
    EXPECT_NE(std::string::npos, stopped.errors.find("interrupted")) << stopped;

    removeFaults();
    const ClientRun resumed = run(launch);
    ASSERT_EQ(0, resumed.status) << resumed;
    expectInstalledAsTheSource("en", true);
}

TEST_F(HeadlessClientTest, AStartBeforeTheGamesDirectoryExistsDoesNotStopALaterInstall) {
    ASSERT_FALSE(std::filesystem::exists(installDirectory()));
    // Nothing to play there: the run ends without a game.
    const ClientRun early = run(SignIn("player", PASSWORD, {"--play"}));
    EXPECT_NE(0, early.status) << early;
    const ClientRun install = run(SignIn("player", PASSWORD, {"--install"}));
    ASSERT_EQ(0, install.status) << install;
    expectInstalledAsTheSource("en", true);
}

TEST_F(HeadlessClientTest, TheUpdaterTakesOverTheJobWithItsTerminalAndExitStatus) {
    // A path relative to where the user started the client.
    const ExitCase cases[] = {
        {"install",
         Launch{SampleGame::BASE_ID, false, PASSWORD, {"--user=player", "--install", "--path=games/Sample Game"}, true},
         0,
         "Sample Game: Installation Complete."},
        {"wrong password", Launch{SampleGame::BASE_ID, true, "not the password", {"--user=player", "--install"}, true},
         ExitStatus::SIGN_IN_FAILED, "sign-in failed"},
    };
    for (const ExitCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case starts as a user who never signed in.
        home = sandbox.path(std::string("homes/") + c.name);
        const ClientRun run = this->run(c.launch);
        EXPECT_EQ(c.status, run.status) << run;
        EXPECT_NE(std::string::npos, run.errors.find(c.message)) << run;
        const std::string log = VantisTest::ReadFileBytes(home + "/Logs/VantisClient.log");
        EXPECT_NE(std::string::npos, log.find("/libexec/vantis/vantis-updater. Version: " +
                                              std::string(BuildInfo::Version()) + " (" + BuildInfo::BuildTime() + ")"));
        EXPECT_NE(std::string::npos, log.find("--path=" + installDirectory()));
    }
    expectInstalledAsTheSource("en", true);
}

TEST_F(HeadlessClientTest, PlayAfterAnInterruptedUpdateStartsTheGameWhoseFilesAreWhole) {
    VantisTest::WriteFileBytes(input("bin/game"), "#!/bin/sh\necho \"Sample Game is running\"\n");
    ASSERT_EQ(0, chmod(input("bin/game").c_str(), 0755));
    repack(42);
    ASSERT_EQ(0, run(SignIn("player", PASSWORD, {"--install"})).status);

    VantisTest::WriteFileBytes(input("data/noise.bin"), VantisTest::RandomBytes(300000, 12));
    repack(43);
    slowDownloads(3000);
    std::unique_ptr<ClientProcess> update = start(OnStoredToken({"--install"}));
    const std::string downloads = sandbox.path(std::string("Downloads/") + SampleGame::BASE_ID);
    ASSERT_TRUE(PollUntil([&] { return EntriesIn(downloads) > 0 || update->hasEnded(); }));
    ASSERT_FALSE(update->hasEnded());
    update->signal(SIGKILL);
    finish(*update);

    const ClientRun play = run(OnStoredToken({"--play"}));
    EXPECT_EQ(0, play.status) << play;
    EXPECT_NE(std::string::npos, play.output.find("Sample Game is running\n")) << play;
}

TEST_F(PlayTest, APlayedProgramGetsItsWordsAndNothingOfTheClientAndStopsOnSigterm) {
    writeRecordingProgram("bin/game");
    writeRecordingProgram("bin/tool");
    setPlayTasks(R"([
        {"isPrimary": true, "name": "Play", "type": "FileTask", "path": "bin/game",
         "arguments": "-windowed  -nosound 'Green Hills' \"\""},
        {"name": "Tool", "type": "FileTask", "path": "bin/tool", "arguments": "--check \"a \\\"b\\\"\""},
        {"name": "Broken", "type": "FileTask", "path": "bin/tool", "arguments": "--name 'never closed"}])");
    repack(42);
    ASSERT_EQ(0, run(SignIn("player", PASSWORD, {"--install"})).status);

    const struct {
        const char* play;
        const char* program;
        std::vector<std::string> words;
    } cases[] = {
        {"--play", "game", {"-windowed", "-nosound", "Green Hills", ""}},
        // A task other than the game's own that names a program of the game.
        {"--play=Tool", "tool", {"--check", "a \"b\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.play);
        // The password comes with every run, as scripts pass it.
        std::unique_ptr<ClientProcess> client = start(Launch{SampleGame::BASE_ID, true, PASSWORD, {c.play}});
        const pid_t game = playedProgram(c.program, *client);
        ASSERT_NE(0, game) << finish(*client);
        EXPECT_EQ(c.words, splitAtZeroBytes(played(std::string(c.program) + ".args")));

        const VantisTest::ProcessProbe probe(game);
        const std::vector<int> descriptors = probe.settledDescriptors(STDERR_FILENO);
        EXPECT_TRUE(!descriptors.empty() && descriptors.back() <= STDERR_FILENO)
            << "the game holds descriptor " << descriptors.back() << " of the client";
        EXPECT_EQ("0000000000000000", probe.status("SigBlk"));
        const std::vector<std::string> environment = probe.environment();
        for (const std::string& entry : environment) EXPECT_NE(0u, entry.rfind("VANTIS_PASSWORD=", 0)) << entry;
        EXPECT_NE(environment.end(), std::find(environment.begin(), environment.end(), "VANTIS_HOME=" + home));

        // The client ends with its game; a game that ignores SIGTERM keeps it waiting.
        ASSERT_EQ(0, ::kill(game, SIGTERM));
        const ClientRun ended = finish(*client, GAME_STOP_TIMEOUT_MS);
        if (isAlive(game)) ::kill(game, SIGKILL);
        EXPECT_EQ(0, ended.status) << "the game did not stop on SIGTERM\n" << ended;
    }

    std::filesystem::remove(sandbox.path("played/tool.pid"));
    const ClientRun broken = run(OnStoredToken({"--play=Broken"}));
    EXPECT_EQ(ExitStatus::PLAY_FAILED, broken.status) << broken;
    EXPECT_NE(std::string::npos,
              broken.errors.find("the play task 'Broken' could not be started: its arguments cannot be read"))
        << broken;
    EXPECT_FALSE(std::filesystem::exists(sandbox.path("played/tool.pid")));
}

TEST_F(PlayTest, ATaskThatOpensADocumentOrAnAddressSucceedsWhenTheDesktopTakesIt) {
    setPlayTasks(R"([
        {"isPrimary": true, "name": "Play", "type": "FileTask", "path": "bin/game"},
        {"name": "Level", "type": "FileTask", "path": "data/level.txt"},
        {"name": "Website", "type": "URLTask", "link": "http://127.0.0.1:9/site"}])");
    repack(42);
    ASSERT_EQ(0, run(SignIn("player", PASSWORD, {"--install"})).status);

    // The desktop's opener, found on PATH as the client looks for it: it
    // records what it was given and takes it or not.
    const std::string desktop = sandbox.path("desktop");
    std::filesystem::create_directories(desktop);
    const char* const path = std::getenv("PATH");
    const std::string searchPath = desktop + ":" + (path != nullptr ? path : "/usr/bin:/bin");
    ASSERT_EQ(0, ::setenv("PATH", searchPath.c_str(), 1));
    const struct {
        const char* play;
        int openerStatus;
        int status;
        std::string opened;
        const char* message;
    } cases[] = {
        {"--play=Level", 0, 0, installDirectory() + "/data/level.txt", "Opened Level."},
        {"--play=Website", 0, 0, "http://127.0.0.1:9/site", "Opened Website."},
        {"--play=Website", 3, ExitStatus::PLAY_FAILED, "http://127.0.0.1:9/site",
         "the play task 'Website' could not be started: the desktop did not open http://127.0.0.1:9/site"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.play + std::string(" ") + std::to_string(c.openerStatus));
        VantisTest::WriteFileBytes(desktop + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" >'" + desktop +
                                                              "/opened'\nexit " + std::to_string(c.openerStatus) + "\n");
        ASSERT_EQ(0, chmod((desktop + "/xdg-open").c_str(), 0755));
        const ClientRun run = this->run(OnStoredToken({c.play}));
        EXPECT_EQ(c.status, run.status) << run;
        EXPECT_NE(std::string::npos, (run.output + run.errors).find(c.message)) << run;
        EXPECT_EQ(c.opened, VantisTest::ReadFileBytes(desktop + "/opened"));
    }
    ASSERT_EQ(0, ::setenv("PATH", path != nullptr ? path : "", 1));
}

}  // namespace
}  // namespace VantisClient
