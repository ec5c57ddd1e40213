// The built vantis-client when the process or the data does not behave: killed
// outright at several points of an install and resumed, answers damaged on the
// way, a part that the server sends damaged every time, a garbled product
// database and an install directory that cannot be made. What was fetched
// again is counted from the backend's record of served parts.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "HeadlessClientFixture.h"
#include "storage/DamagedDatabaseKeeper.h"

namespace VantisClient {
namespace {

namespace ExitStatus = VantisTest::ExitStatus;

namespace fs = std::filesystem;
// The fixture's launches, runs and probes.
using namespace VantisTest;

const uint64_t MiB = 1048576;

// The parts a client may lose when it is killed: the two in flight and the one
// whose answer it is writing meanwhile, each at most a plain part's size.
const uint64_t PARTS_IN_FLIGHT_BYTES = 3 * MiB;

// Counts occurrences of `text` in the client's log.
size_t TimesLogged(const std::string& home, const std::string& text) {
    size_t times = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(home + "/Logs")) {
        const std::string log = VantisTest::ReadFileBytes(entry.path().string());
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++times;
    }
    return times;
}

// Where the client is when it is killed: a fraction of the big files served,
// or the first file moved into place.
struct KillMoment {
    const char* name;
    double servedFraction;  // 0: when files are being placed
};

std::ostream& operator<<(std::ostream& stream, const KillMoment& moment) { return stream << moment.name; }

// What the client may write to: its application-support root (the sandbox)
// holds these, beside what the test itself keeps there.
const std::set<std::string> CLIENT_ENTRIES = {"Config.json", "Tokens.json", "VantisClient.lock", "Logs", "Storage",
                                              "Library", "Support", "Downloads", "WebCache", "IconsCache"};
const std::set<std::string> TEST_ENTRIES = {"input", "catalogue", "reports", "runs"};

class KilledClientTest : public HeadlessClientTest, public ::testing::WithParamInterface<KillMoment> {
protected:
    static constexpr size_t BIG_FILES = 4;
    static constexpr size_t BIG_FILE_SIZE = 3 * MiB;
    static constexpr size_t SMALL_FILES = 1000;
    // Twelve parts of 1 MiB, two at a time: a few seconds, so that the kill
    // can fall between any two of them.
    static constexpr int BIG_PART_DELAY_MS = 500;

    // A few files that do not compress, so that a download can be cut between
    // its parts, and many small files, so that placing them takes a while.
    // Returns the fault rule that slows the big files down.
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
        const double fraction = GetParam().servedFraction;
        const uint64_t bytes = static_cast<uint64_t>(fraction * BIG_FILES * BIG_FILE_SIZE);
        const bool reached = PollUntil([&] {
            const bool due = fraction > 0 ? objectBytesServed() >= bytes : EntriesIn(smallFiles()) > 0;
            return due || client.hasEnded();
        });
        return reached && !client.hasEnded();
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

// Each written part is recorded as it is written: a kill loses only the parts
// in flight, wherever it falls.
TEST_P(KilledClientTest, ResumesFetchingAtMostThePartsInFlightAgainAndWritesNothingElsewhere) {
    const std::string slowBigFiles = makeBiggerGame();
    fs::create_directories(fs::path(installDirectory()).parent_path());
    const std::set<std::string> elsewhereBefore = writtenElsewhere();
    const bool duringTheDownload = GetParam().servedFraction > 0;
    if (duringTheDownload) {
        ASSERT_EQ(200, control("POST", "faults", slowBigFiles).status);
    }

    const Launch launch = SignIn("player", PASSWORD, {"--install"});
    std::unique_ptr<ClientProcess> client = start(launch);
    ASSERT_TRUE(reachMoment(*client)) << finish(*client);
    client->signal(SIGKILL);
    const uint64_t servedAtKill = objectBytesServed();
    const ClientRun killed = finish(*client);
    ASSERT_EQ(128 + SIGKILL, killed.status) << killed;
    if (duringTheDownload) {
        RecordProperty("bytesServedAtKill", std::to_string(servedAtKill));
        ASSERT_LT(servedAtKill, BIG_FILES * BIG_FILE_SIZE) << "the download was over before the kill";
    } else {
        ASSERT_LT(EntriesIn(smallFiles()), SMALL_FILES) << "the files were all in place before the kill";
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
    EXPECT_LE(again, PARTS_IN_FLIGHT_BYTES) << again << " of " << game << " bytes fetched again";
    EXPECT_EQ(elsewhereBefore, writtenElsewhere());
    EXPECT_EQ(0u, EntriesIn(sandbox.path("Downloads"))) << "downloads left behind";
}

INSTANTIATE_TEST_SUITE_P(AtSeveralPoints, KilledClientTest,
                         ::testing::Values(KillMoment{"AFifthDownloaded", 0.2},
                                           KillMoment{"ThreeFifthsDownloaded", 0.6}, KillMoment{"PlacingFiles", 0}),
                         ::testing::PrintToStringParamName());

class DamageTest : public HeadlessClientTest {
protected:
    // A few megabytes more than the sample game: plain parts in a file that
    // does not compress, zip parts in one that does.
    void makeLargerGame() {
        VantisTest::WriteFileBytes(input("big/noise.bin"), VantisTest::RandomBytes(4 * MiB + 12345, 7));
        std::string text;
        for (int line = 0; text.size() < 13 * MiB; ++line) {
            text += "line " + std::to_string(line) + " of a long compressible file\n";
        }
        VantisTest::WriteFileBytes(input("big/text.txt"), text);
        repack(43);
    }

    // Rewrites the size the depot manifests give `path`.
    void claimSize(const std::string& path, uint64_t size) {
        // The JSON writer may escape the slashes of the path.
        std::string escaped;
        for (char c : path) escaped += c == '/' ? std::string("\\/") : std::string(1, c);
        size_t changed = 0;
        for (const fs::directory_entry& file : fs::recursive_directory_iterator(catalogue())) {
            if (!file.is_regular_file() || file.path().extension() != ".json") continue;
            std::string text = VantisTest::ReadFileBytes(file.path().string());
            for (const std::string& written : {path, escaped}) {
                const std::string key = "\"path\":\"" + written + "\",\"size\":";
                const size_t at = text.find(key);
                if (at == std::string::npos) continue;
                const size_t digits = at + key.size();
                text.replace(digits, text.find_first_not_of("0123456789", digits) - digits, std::to_string(size));
                VantisTest::WriteFileBytes(file.path().string(), text);
                ++changed;
                break;
            }
        }
        ASSERT_EQ(1u, changed) << "no manifest lists " << path;
    }

    // How often each part was requested since the last reset.
    std::map<Part, size_t> timesRequested() {
        std::map<Part, size_t> times;
        for (const Part& part : partsRequested()) ++times[part];
        return times;
    }
};

TEST_F(DamageTest, EverySeventhAnswerDamagedCompletesInOneRunFetchingAgainOnlyWhatWasDamaged) {
    makeLargerGame();
    ASSERT_EQ(200, control("POST", "faults",
                           R"({"listener": "api", "path": "^/content/objects/", "action": "corrupt", "bytes": 3,
                               "every": 7})")
                       .status);
    const ClientRun install = run(SignIn("player", PASSWORD, {"--install"}));
    ASSERT_EQ(0, install.status) << install;
    expectInstalledAsTheSource("en", true);

    const std::set<Part> damaged = partsServedWith("corrupt");
    ASSERT_FALSE(damaged.empty());
    // A zip part is checked on its own; a plain part only through its file's
    // MD5, so the parts of a plain object with a damaged part are fetched a
    // second time to find the one that differs.
    std::set<std::string> plainObjectsHit;
    for (const Part& part : damaged) {
        if (part.first.find(".bin") != std::string::npos) plainObjectsHit.insert(part.first);
    }
    uint64_t game = 0;
    uint64_t served = 0;
    for (const auto& entry : timesRequested()) {
        const Part& part = entry.first;
        game += BytesOf(part);
        served += entry.second * BytesOf(part);
        if (entry.second == 1) continue;
        SCOPED_TRACE(part.first + " " + part.second);
        EXPECT_TRUE(damaged.count(part) > 0 || plainObjectsHit.count(part.first) > 0) << "fetched again undamaged";
    }
    RecordProperty("bytesOfTheGame", std::to_string(game));
    RecordProperty("bytesServed", std::to_string(served));
    // Every plain part fetched twice at most, and a few parts a third time.
    EXPECT_LE(served * 2, 5 * game);
}

TEST_F(DamageTest, APartThatInflatesBeyondItsSizeEndsTheInstallAsAServerProblemAfterThreeFetches) {
    // A megabyte of zeros is one small zip part; the manifest says it holds far less.
    VantisTest::WriteFileBytes(input("bomb/zeros.bin"), std::string(MiB, '\0'));
    repack(43);
    claimSize("bomb/zeros.bin", 1000);
    const ClientRun install = run(SignIn("player", PASSWORD, {"--install"}));
    EXPECT_EQ(ExitStatus::SERVER_PROBLEM, install.status) << install;
    // The bomb is the one part fetched more than once, and it was fetched three times, not a hundred.
    size_t mostFetches = 0;
    for (const auto& entry : timesRequested()) mostFetches = std::max(mostFetches, entry.second);
    EXPECT_EQ(3u, mostFetches);
    EXPECT_EQ(1u, TimesLogged(home, "came 3 times in a row as the same damaged part"));
}

TEST_F(DamageTest, AGarbledProductDatabaseIsSetAsideOnceAndRebuilt) {
    const Launch launch = SignIn("player", PASSWORD, {"--install"});
    const ClientRun install = run(launch);
    ASSERT_EQ(0, install.status) << install;
    const std::string storage = sandbox.path("Storage");
    const std::string product = storage + "/" + SampleGame::BASE_ID;
    size_t garbled = 0;
    for (const fs::directory_entry& file : fs::recursive_directory_iterator(product)) {
        if (!file.is_regular_file() || file.path().filename() == "LOCK") continue;
        VantisTest::WriteFileBytes(file.path().string(),
                                   VantisTest::RandomBytes(std::max<size_t>(fs::file_size(file.path()), 64), 3));
        ++garbled;
    }
    ASSERT_GT(garbled, 0u);

    const ClientRun afterDamage = run(OnStoredToken({"--install"}));
    ASSERT_EQ(0, afterDamage.status) << afterDamage;
    expectInstalledAsTheSource("en", true);
    const ClientRun later = run(OnStoredToken({"--install"}));
    ASSERT_EQ(0, later.status) << later;
    expectInstalledAsTheSource("en", true);

    EXPECT_EQ(1u, TimesLogged(home, "is damaged"));
    EXPECT_EQ(0u, TimesLogged(home, "Could not open DB"));
    size_t copies = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(storage)) {
        const std::string name = entry.path().filename().string();
        copies += name.rfind(SampleGame::BASE_ID + std::string(DamagedDatabaseKeeper::ASIDE_MARK), 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(1u, copies);
    // The rebuilt records know the game is installed: nothing is fetched again.
    resetServed();
    const ClientRun upToDate = run(OnStoredToken({"--install"}));
    ASSERT_EQ(0, upToDate.status) << upToDate;
    EXPECT_EQ(0u, objectBytesServed());
}

TEST_F(DamageTest, AnInstallDirectoryThatCannotBeMadeEndsAsADiskAccessProblem) {
    const struct {
        const char* name;
        bool parentIsAFile;
    } cases[] = {
        {"the parent is a file", true},
        {"the parent is read-only", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Permissions do not hold back root.
        if (!c.parentIsAFile && ::geteuid() == 0) continue;
        const std::string parent = fs::path(installDirectory()).parent_path().string();
        fs::remove_all(parent);
        if (c.parentIsAFile) {
            VantisTest::WriteFileBytes(parent, "not a directory");
        } else {
            fs::create_directories(parent);
            ASSERT_EQ(0, ::chmod(parent.c_str(), 0555));
        }
        const ClientRun refused = run(SignIn("player", PASSWORD, {"--install"}));
        EXPECT_EQ(ExitStatus::DISK_ACCESS_PROBLEM, refused.status) << refused;
        EXPECT_NE(std::string::npos, refused.errors.find("Installation failed: disk access problem")) << refused;
        EXPECT_NE(std::string::npos, refused.errors.find(installDirectory())) << refused;
        if (!c.parentIsAFile) ::chmod(parent.c_str(), 0755);
        fs::remove_all(parent);
    }
}

}  // namespace
}  // namespace VantisClient
