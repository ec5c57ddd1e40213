// The built vantis-client's own options and exit statuses, as a user or a
// script meets them: --help, --version and usage errors; extra content and
// languages the game does not offer, refused before anything is downloaded;
// the extra content an update keeps; a download rate for one run; the
// password from standard input; and the signals that end a run, also at the
// password prompt on a terminal.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "HeadlessClientFixture.h"
#include "TerminalProcess.h"

namespace VantisClient {
namespace {

namespace ExitStatus = VantisTest::ExitStatus;

using namespace VantisTest;

const char* const CLIENT = VANTIS_TEST_BIN_DIR "/vantis-client";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class HeadlessClientOptionsTest : public HeadlessClientTest {
protected:
    // The client with exactly these arguments after its path.
    ClientRun runWith(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{CLIENT};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const std::string name = sandbox.path("runs/raw");
        ClientProcess client(argv, environment(""), name + ".out", name + ".err");
        ClientRun run;
        run.status = client.wait(RUN_TIMEOUT_MS);
        run.output = ReadFileBytes(name + ".out");
        run.errors = ReadFileBytes(name + ".err");
        return run;
    }

    std::string log() const { return ReadFileBytes(home + "/Logs/VantisClient.log"); }
};

}  // namespace

TEST_F(HeadlessClientOptionsTest, HelpVersionAndUsageErrorsSayWhatTheyShouldWithTheirStatus) {
    const std::string game = "--gameId=" + std::string(SampleGame::BASE_ID);
    const std::string path = "--path=" + installDirectory();
    const struct {
        const char* what;
        std::vector<std::string> arguments;
        int status;
        std::string says;  // on standard output for status 0, else on standard error
    } cases[] = {
        {"help", {"--help"}, 0, "the log                  " + home + "/Logs/VantisClient.log\n"},
        {"help among other options", {game, "--install", "-h"}, 0, "Exit status:"},
        {"version", {"--version"}, 0, "vantis-client 0.1.0.373\nbuilt "},
        {"no arguments", {}, ExitStatus::USAGE, "vantis-client: the game is needed: --gameId=ID"},
        {"too few arguments", {game}, ExitStatus::USAGE, "the game's directory is needed: --path=DIR"},
        {"unknown and repeated options", {game, path, "--bogus", "--gameId=1"}, ExitStatus::USAGE,
         "vantis-client: --bogus: unknown option; --gameId=1: given more than once\n"},
        {"a value that never came", {game, path, "--user"}, ExitStatus::USAGE, "vantis-client: --user: needs a value"},
        {"a rate that is no rate", {game, path, "--install", "--limit-rate=20MB"}, ExitStatus::USAGE,
         "vantis-client: --limit-rate: '20MB' is no rate"},
        {"a rate too high", {game, path, "--install", "--limit-rate=4G"}, ExitStatus::USAGE, "'4G' is too high"},
        {"a password from standard input for nobody", {game, path, "--password-stdin"}, ExitStatus::USAGE,
         "--password-stdin reads the password for --user=NAME"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ClientRun run = runWith(c.arguments);
        EXPECT_EQ(c.status, run.status) << run;
        EXPECT_TRUE(contains(c.status == 0 ? run.output : run.errors, c.says)) << run;
        // A program that stops does not say it ignores what stopped it.
        EXPECT_FALSE(contains(run.errors, "ignoring")) << run;
        if (c.status == ExitStatus::USAGE) {
            EXPECT_TRUE(contains(run.errors, "run 'vantis-client --help'")) << run;
        }
    }
    EXPECT_EQ(0u, EntriesIn(installDirectory()));
}

TEST_F(HeadlessClientOptionsTest, WhatTheGameDoesNotOfferIsRefusedBeforeAnythingIsDownloaded) {
    const struct {
        const char* what;
        std::vector<std::string> options;
        std::string says;
    } cases[] = {
        {"extra content", {"--install", "--dlc=999"},
         "vantis-client: game 1207658924 offers no extra content 999; it offers: 1207658925 Sample DLC\n"},
        {"a language", {"--install", "--language=xx"},
         "vantis-client: game 1207658924 offers no language xx; it offers: en, de\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ClientRun refused = run(SignIn("player", PASSWORD, c.options));
        EXPECT_EQ(ExitStatus::USAGE, refused.status) << refused;
        EXPECT_TRUE(contains(refused.errors, c.says)) << refused;
        EXPECT_EQ(0u, EntriesIn(installDirectory()));
        EXPECT_EQ(0u, objectBytesServed());
    }
}

// Also: a language given in another case is stored as the game offers it,
// and the password may come from standard input instead of the environment.
TEST_F(HeadlessClientOptionsTest, AnUpdateKeepsTheInstalledExtraContentAndARateHoldsForItsRunOnly) {
    // Extra content large enough for its download to take a few seconds at the run's rate.
    WriteFileBytes(sandbox.path("input/dlc/common/data/large.bin"), RandomBytes(3 * 1024 * 1024, 5));
    repack(42);
    const std::string passwordFile = sandbox.path("password.txt");
    WriteFileBytes(passwordFile, std::string(PASSWORD) + "\n");
    Launch first = SignIn("player", "not the password", {"--password-stdin", "--install", "--dlc=", "--language=DE"});
    first.input = passwordFile;
    const ClientRun installed = run(first);
    ASSERT_EQ(0, installed.status) << installed;
    expectInstalledAsTheSource("de", false);
    EXPECT_TRUE(contains(log(), "language 'de'"));
    EXPECT_FALSE(contains(log(), "language 'DE'"));
    const std::string settings = ReadFileBytes(home + "/Config.json");
    ASSERT_FALSE(settings.empty());

    const struct {
        const char* what;
        std::vector<std::string> options;
        bool withDlc;
        bool downloads;
    } runs[] = {
        {"no extra content is kept", {"--install"}, false, false},
        {"extra content chosen, at a limited rate", {"--install", "--dlc=" + std::string(SampleGame::DLC_ID),
                                                     "--limit-rate=1M"}, true, true},
        {"the extra content is kept", {"--install"}, true, false},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.what);
        resetServed();
        const auto started = std::chrono::steady_clock::now();
        const ClientRun update = run(OnStoredToken(r.options));
        const auto runMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                                 started);
        ASSERT_EQ(0, update.status) << update;
        expectInstalledAsTheSource("de", r.withDlc);
        const uint64_t served = objectBytesServed();
        EXPECT_EQ(r.downloads, served > 0);
        // For the record, not asserted: the whole run's time bounds the download's.
        RecordProperty(r.what, std::to_string(served) + " bytes in " + std::to_string(runMs.count()) + " ms");
    }
    EXPECT_TRUE(contains(log(), "Download speed limit for this run: 1048576 bytes per second"));
    EXPECT_TRUE(contains(log(), "Downloading files of product 1207658924 at most 1048576 bytes per second"));
    // The run's limit is no setting.
    EXPECT_EQ(settings, ReadFileBytes(home + "/Config.json"));
}

TEST_F(HeadlessClientOptionsTest, ASignalEndsAnIdleClientWithItsStatus) {
    ASSERT_EQ(0, run(SignIn("player", PASSWORD, {"--install", "--dlc="})).status);
    const struct {
        int signal;
        int status;
    } cases[] = {{SIGINT, ExitStatus::SIGINT_RECEIVED}, {SIGTERM, ExitStatus::SIGTERM_RECEIVED}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        // Without anything to do the client shows the card until it is stopped.
        std::unique_ptr<ClientProcess> client = start(OnStoredToken({}));
        ASSERT_TRUE(PollUntil([&] { return contains(outputSoFar(), "Sample Game") || client->hasEnded(); }));
        ASSERT_FALSE(client->hasEnded()) << finish(*client);
        client->signal(c.signal);
        const ClientRun stopped = finish(*client);
        EXPECT_EQ(c.status, stopped.status) << stopped;
        EXPECT_TRUE(contains(stopped.errors, "vantis-client: interrupted\n")) << stopped;
    }
}

// The quit of the first waits for the install's support program, which
// ignores SIGTERM and is given two seconds before it is killed.
TEST_F(HeadlessClientOptionsTest, ASecondCtrlCWhileTheClientQuitsEndsItAtOnce) {
    const std::string running = sandbox.path("setup.running");
    const std::string setup = sandbox.path("input/base/support/setup.sh");
    WriteFileBytes(setup, "#!/bin/sh\ntrap '' TERM\necho $$ >'" + running + "'\nexec sleep 60\n");
    ASSERT_EQ(0, ::chmod(setup.c_str(), 0755));
    repack(42);
    std::unique_ptr<ClientProcess> client = start(SignIn("player", PASSWORD, {"--install"}));
    pid_t setupProgram = 0;
    ASSERT_TRUE(PollUntil([&] {
        setupProgram = static_cast<pid_t>(std::atoi(ReadFileBytes(running).c_str()));
        return setupProgram > 0 || client->hasEnded();
    }));
    client->signal(SIGINT);
    ASSERT_TRUE(PollUntil([&] { return contains(errorsSoFar(), "interrupted") || client->hasEnded(); }));
    client->signal(SIGINT);
    const ClientRun stopped = finish(*client);
    EXPECT_EQ(ExitStatus::SIGINT_RECEIVED, stopped.status) << stopped;
    EXPECT_TRUE(contains(stopped.errors, "vantis-client: interrupted again: quitting at once\n")) << stopped;
    // The client did not wait for it to be killed.
    if (setupProgram > 0) ::kill(setupProgram, SIGKILL);
}

TEST_F(HeadlessClientOptionsTest, CtrlCAtThePasswordPromptEndsTheClientAtOnceAndTheTerminalEchoesAgain) {
    TerminalProcess client({CLIENT, "--runWithoutUpdating", "--skipServiceRunningCheck",
                           "--gameId=" + std::string(SampleGame::BASE_ID), "--path=" + installDirectory(),
                           "--user=player", "--install"},
                          environment(""));
    ASSERT_TRUE(client.started());
    ASSERT_TRUE(PollUntil([&] { return contains(client.screen(), "Password for player: "); })) << client.screen();
    ASSERT_TRUE(PollUntil([&] { return !client.echoes(); }));
    // Ctrl-C, as the terminal turns it into SIGINT for the client.
    ASSERT_TRUE(client.type("\x03"));
    EXPECT_EQ(ExitStatus::SIGINT_RECEIVED, client.wait(RUN_TIMEOUT_MS)) << client.screen();
    EXPECT_TRUE(client.echoes());
    EXPECT_TRUE(contains(client.screen(), "vantis-client: interrupted")) << client.screen();
    EXPECT_EQ(0u, EntriesIn(installDirectory()));
}

}  // namespace VantisClient
