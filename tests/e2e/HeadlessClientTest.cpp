// The built vantis-client run as a user or a script runs it, against the real
// backend in this process: sign-in, install, play, the stored token, updates,
// refusals with their exit statuses, and installs stopped by SIGTERM or killed
// outright and then resumed.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <Poco/Path.h>
#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "ClientProcess.h"
#include "GameBackendFixture.h"
#include "common/EReturnCode.h"
#include "install/DirtyFilesSerializer.h"
#include "support/WaitFor.h"

extern char** environ;

namespace VantisClient {
namespace {

namespace fs = std::filesystem;
using VantisTest::ClientProcess;
using VantisTest::SampleGame;

// Generous for a sanitizer build on two shared cores; a run that hangs still fails.
const int RUN_TIMEOUT_MS = 120000;
// An up-to-date game needs no download: a start that takes longer is waiting for something.
const int UP_TO_DATE_TIMEOUT_MS = 20000;
// How often a test looks at the backend's record while the client runs: often
// enough to choose a moment, rarely enough to leave the cores to the client.
const int POLL_INTERVAL_MS = 10;
const char* const PASSWORD = "secret";  // the fixture's password of "player"

// The exit statuses the client documents: 10 plus the install result when an
// install failed, and start-up codes as the system reports them.
const int EXIT_INSTALL_ABORTED = 11;
const int EXIT_NOT_AUTHORIZED = 16;
const int EXIT_UNKNOWN_GAME = 18;
const int EXIT_SIGN_IN_FAILED = 20;
const int EXIT_USAGE = 64;
const int EXIT_GAME_ID_NOT_RECOGNIZED = RC_GAME_ID_NOT_RECOGNIZED & 0xFF;

// How the client is started: the game, whether it is given its directory, the
// password in its environment (none when empty) and the options after the fixed ones.
struct Launch {
    std::string gameId = SampleGame::BASE_ID;
    bool withPath = true;
    std::string password;
    std::vector<std::string> options;
};

Launch SignIn(const std::string& user, const std::string& password, std::vector<std::string> options) {
    options.insert(options.begin(), "--user=" + user);
    return Launch{SampleGame::BASE_ID, true, password, options};
}

Launch OnStoredToken(std::vector<std::string> options) { return Launch{SampleGame::BASE_ID, true, "", options}; }

// What a run of the client left: its status as a shell reports it and what it printed.
struct ClientRun {
    int status = ClientProcess::TIMED_OUT;
    std::string output;
    std::string errors;
};

std::ostream& operator<<(std::ostream& stream, const ClientRun& run) {
    return stream << "status " << run.status << "\n--- stdout\n" << run.output << "--- stderr\n" << run.errors;
}

bool PollUntil(const std::function<bool()>& condition, int timeoutMs = RUN_TIMEOUT_MS) {
    return VantisTest::WaitFor(
        [&] {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(POLL_INTERVAL_MS));
            return false;
        },
        timeoutMs);
}

// The bytes of the files below `directory`, which may change meanwhile.
uint64_t BytesBelow(const std::string& directory) {
    uint64_t bytes = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        const uintmax_t size = fs::is_regular_file(it->symlink_status()) ? fs::file_size(it->path(), error) : 0;
        if (!error) bytes += size;
        error.clear();
    }
    return bytes;
}

size_t EntriesIn(const std::string& directory) {
    std::error_code error;
    fs::directory_iterator entries(directory, error);
    return error ? 0 : static_cast<size_t>(std::distance(entries, fs::directory_iterator()));
}

class HeadlessClientTest : public VantisTest::GameBackendTest {
protected:
    void SetUp() override {
        GameBackendTest::SetUp();
        startBackend();
        fs::create_directories(sandbox.path("runs"));
    }

    std::string installDirectory() const override { return sandbox.path("games/Sample Game"); }

    std::unique_ptr<ClientProcess> start(const Launch& launch) {
        std::vector<std::string> arguments = {VANTIS_TEST_BIN_DIR "/vantis-client", "--runWithoutUpdating",
                                              "--skipServiceRunningCheck", "--gameId=" + launch.gameId};
        if (launch.withPath) arguments.push_back("--path=" + installDirectory());
        arguments.insert(arguments.end(), launch.options.begin(), launch.options.end());
        const std::string name = sandbox.path("runs/" + std::to_string(++m_runs));
        m_outputPath = name + ".out";
        m_errorPath = name + ".err";
        auto client =
            std::make_unique<ClientProcess>(arguments, environment(launch.password), m_outputPath, m_errorPath);
        EXPECT_TRUE(client->started()) << client->error();
        return client;
    }

    // Waits for the client started last; a client that does not end in time is killed.
    ClientRun finish(ClientProcess& client, int timeoutMs = RUN_TIMEOUT_MS) {
        ClientRun run;
        run.status = client.wait(timeoutMs);
        run.output = VantisTest::ReadFileBytes(m_outputPath);
        run.errors = VantisTest::ReadFileBytes(m_errorPath);
        EXPECT_NE(ClientProcess::TIMED_OUT, run.status) << "killed after " << timeoutMs << " ms\n" << run;
        return run;
    }

    ClientRun run(const Launch& launch, int timeoutMs = RUN_TIMEOUT_MS) { return finish(*start(launch), timeoutMs); }

    // Slows every file part down, so that a test can act while the download runs.
    void slowDownloads(int delayMs) {
        const std::string rule = R"({"listener": "api", "action": "delay", "path": "^/content/objects/", "delayMs": )" +
                                 std::to_string(delayMs) + "}";
        ASSERT_EQ(200, control("POST", "faults", rule).status);
    }

    void removeFaults() { ASSERT_EQ(200, control("DELETE", "faults").status); }

    // The application-support root is the sandbox, as for a user whose
    // VANTIS_HOME is set; the rest of the test's environment is kept (sanitizer
    // options among it), but none of its own VANTIS_ variables.
    std::vector<std::string> environment(const std::string& password) const {
        std::vector<std::string> entries;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (std::strncmp(*entry, "VANTIS_", 7) != 0) entries.push_back(*entry);
        }
        entries.push_back("VANTIS_HOME=" + home);
        entries.push_back("VANTIS_BUNDLE=" + Poco::Path(VANTIS_TEST_BIN_DIR).makeDirectory().popDirectory().toString());
        entries.push_back("VANTIS_CONFIG_HOST=127.0.0.1:" + std::to_string(server->apiPort()));
        // Reachability from the machine's routes is not what these tests are about.
        entries.push_back("VANTIS_ONLINE=1");
        if (!password.empty()) entries.push_back("VANTIS_PASSWORD=" + password);
        return entries;
    }

    std::string home = sandbox.root();

private:
    int m_runs = 0;
    std::string m_outputPath;
    std::string m_errorPath;
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

// Where the client is when it is killed.
enum class KillMoment { HalfDownloaded, PlacingFiles };

std::ostream& operator<<(std::ostream& stream, KillMoment moment) {
    return stream << (moment == KillMoment::HalfDownloaded ? "HalfDownloaded" : "PlacingFiles");
}

// What the client may write to: its application-support root (the sandbox)
// holds these, beside what the test itself keeps there.
const std::set<std::string> CLIENT_ENTRIES = {"Config.json", "Tokens.json", "VantisClient.lock", "Logs", "Storage",
                                              "Library", "Support", "Downloads", "WebCache", "IconsCache"};
const std::set<std::string> TEST_ENTRIES = {"input", "catalogue", "reports", "runs"};

class KilledClientTest : public HeadlessClientTest, public ::testing::WithParamInterface<KillMoment> {
protected:
    static constexpr size_t BIG_FILES = 6;
    static constexpr size_t BIG_FILE_SIZE = 5 * 1048576;
    static constexpr size_t SMALL_FILES = 1000;
    // Thirty parts of 1 MiB, two at a time: about twenty seconds, so that the
    // first batch of download records is written about half way.
    static constexpr int BIG_PART_DELAY_MS = 1300;
    // For the client's install thread to come round to writing the batch.
    static constexpr std::chrono::milliseconds BATCH_MARGIN{300};

    // Some tens of megabytes in a few files that do not compress, so that a
    // download can be cut in the middle, and many small files, so that placing
    // them takes a while. Returns the fault rule that slows the big files down.
    std::string makeBiggerGame() {
        std::string objects;
        for (size_t i = 0; i < BIG_FILES; ++i) {
            const std::string bytes = VantisTest::RandomBytes(BIG_FILE_SIZE, static_cast<unsigned>(100 + i));
            VantisTest::WriteFileBytes(input("big/part" + std::to_string(i) + ".bin"), bytes);
            // A large file that does not compress is one object named by its MD5.
            objects += (objects.empty() ? "" : "|") + VantisTest::Md5Hex(bytes);
        }
        for (size_t i = 0; i < SMALL_FILES; ++i) {
            VantisTest::WriteFileBytes(input("small/file" + std::to_string(i) + ".txt"),
                                       "small file " + std::to_string(i) + "\n");
        }
        repack(43);
        return R"({"listener": "api", "action": "delay", "path": "^/content/objects/.*()" + objects +
               R"()\\.bin", "delayMs": )" + std::to_string(BIG_PART_DELAY_MS) + "}";
    }

    // Waits for the moment to kill the client at; false when it ended first.
    bool reachMoment(ClientProcess& client) {
        const bool reached =
            GetParam() == KillMoment::PlacingFiles ? firstFilePlaced(client) : firstDownloadBatchStored(client);
        return reached && !client.hasEnded();
    }

    // The directories are made before any file is moved into place.
    bool firstFilePlaced(ClientProcess& client) {
        return VantisTest::WaitFor([&] { return EntriesIn(smallFiles()) > 0 || client.hasEnded(); }, RUN_TIMEOUT_MS);
    }

    // The client writes what it has downloaded to its product database when
    // the download starts, before the first file request, and then in batches
    // ten seconds apart: the moment is just after the first batch, about half
    // way through the slowed big files.
    bool firstDownloadBatchStored(ClientProcess& client) {
        uint64_t storedAtStart = 0;
        const bool downloading = PollUntil([&] {
            if (objectBytesServed() == 0 && !client.hasEnded()) return false;
            storedAtStart = BytesBelow(sandbox.path("Storage"));
            return true;
        });
        const auto due = std::chrono::steady_clock::now() +
                         std::chrono::microseconds(DirtyFilesSerializer::FLUSH_INTERVAL_US) + BATCH_MARGIN;
        return downloading && PollUntil([&] {
                   const bool stored =
                       std::chrono::steady_clock::now() >= due && BytesBelow(sandbox.path("Storage")) > storedAtStart;
                   return stored || client.hasEnded();
               });
    }

    std::string smallFiles() const { return installDirectory() + "/small"; }

    // Every path below the sandbox that is neither the install directory nor
    // the client's own nor the test's.
    std::set<std::string> writtenElsewhere() const {
        std::set<std::string> paths;
        const fs::path root = sandbox.root();
        for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
            const fs::path relative = fs::relative(it->path(), root);
            const std::string first = relative.begin()->string();
            const bool skipped = CLIENT_ENTRIES.count(first) > 0 || TEST_ENTRIES.count(first) > 0 ||
                                 it->path() == fs::path(installDirectory());
            if (skipped && it->is_directory()) it.disable_recursion_pending();
            if (!skipped) paths.insert(relative.generic_string());
        }
        return paths;
    }
};

TEST_P(KilledClientTest, ResumesFetchingLittleAgainAndWritesNothingElsewhere) {
    const std::string slowBigFiles = makeBiggerGame();
    fs::create_directories(fs::path(installDirectory()).parent_path());
    const std::set<std::string> elsewhereBefore = writtenElsewhere();
    if (GetParam() == KillMoment::HalfDownloaded) {
        ASSERT_EQ(200, control("POST", "faults", slowBigFiles).status);
    }

    const Launch launch = SignIn("player", PASSWORD, {"--install"});
    std::unique_ptr<ClientProcess> client = start(launch);
    ASSERT_TRUE(reachMoment(*client)) << finish(*client);
    client->signal(SIGKILL);
    const uint64_t servedAtKill = objectBytesServed();
    const ClientRun killed = finish(*client);
    ASSERT_EQ(128 + SIGKILL, killed.status) << killed;
    if (GetParam() == KillMoment::PlacingFiles) {
        ASSERT_LT(EntriesIn(smallFiles()), SMALL_FILES) << "the files were all in place before the kill";
    } else {
        RecordProperty("bytesServedAtKill", std::to_string(servedAtKill));
        ASSERT_LT(servedAtKill, BIG_FILES * BIG_FILE_SIZE) << "the download was over before the kill";
    }
    const std::set<Part> fetchedBefore = partsServed();

    removeFaults();
    resetServed();
    const ClientRun resumed = run(launch);
    ASSERT_EQ(0, resumed.status) << resumed;
    expectInstalledAsTheSource("en", true);

    uint64_t game = 0;
    uint64_t again = 0;
    for (const Part& part : fetchedBefore) game += BytesOf(part);
    for (const Part& part : partsServed()) {
        (fetchedBefore.count(part) > 0 ? again : game) += BytesOf(part);
    }
    RecordProperty("bytesOfTheGame", std::to_string(game));
    RecordProperty("bytesFetchedAgain", std::to_string(again));
    EXPECT_LE(again * 10, game) << again << " of " << game << " bytes fetched again";
    EXPECT_EQ(elsewhereBefore, writtenElsewhere());
    EXPECT_EQ(0u, EntriesIn(sandbox.path("Downloads"))) << "downloads left behind";
}

INSTANTIATE_TEST_SUITE_P(AtEachStage, KilledClientTest,
                         ::testing::Values(KillMoment::HalfDownloaded, KillMoment::PlacingFiles),
                         ::testing::PrintToStringParamName());

}  // namespace
}  // namespace VantisClient
