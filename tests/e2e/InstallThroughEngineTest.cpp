#include <signal.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <Poco/File.h>
#include <Poco/Process.h>
#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "EngineFixture.h"
#include "install/RunningGameDetector.h"
#include "storage/StorageDBSerializer.h"
#include "support/WaitFor.h"

namespace VantisClient {
namespace {

using VantisTest::SampleGame;
using S = EInstallStatusCode;

const std::string BASE_ID = SampleGame::BASE_ID;
const tRevisionList BASE_ONLY{BASE_ID};

class InstallThroughEngineTest : public VantisTest::EngineTest {
protected:
    // The product as the index and its database hold it.
    static ProductInfo::Ptr stored() {
        StorageDBSerializer::Products index;
        StorageDBSerializer::DeserializeIndex(index);
        for (ProductInfo::Ptr& entry : index) {
            if (entry->getGameId() != SampleGame::BASE_ID) continue;
            StorageDBSerializer::DeserializeProduct(SampleGame::BASE_ID, entry.get());
            return entry;
        }
        return ProductInfo::Ptr();
    }

    // Slows every file part down, so that a test can act while the download runs.
    void slowDownloads() {
        const std::string rule =
            R"({"listener": "api", "action": "delay", "delayMs": 250, "path": "^/content/objects/"})";
        ASSERT_EQ(200, control("POST", "faults", rule).status);
    }

    // Drains until the running install reports its download.
    bool downloadStarted() {
        return drainUntil([this] {
            return std::find(listener.statuses.begin(), listener.statuses.end(), S::Downloading) !=
                   listener.statuses.end();
        });
    }

    // What a resumed run fetched again of what the interrupted run had fetched:
    // at most the parts that were in flight when it stopped.
    static size_t fetchedAgain(const std::set<Part>& first, const std::set<Part>& second) {
        return static_cast<size_t>(
            std::count_if(second.begin(), second.end(), [&](const Part& part) { return first.count(part) > 0; }));
    }
};

TEST_F(InstallThroughEngineTest, AFreshInstallPlacesTheSourceTreeAndRecordsTheGameInstalled) {
    // Sizes at the edges of plain (1 MiB) and zip (6 MiB) parts.
    const size_t MiB = 1048576;
    for (size_t size : {MiB - 1, MiB, MiB + 1}) {
        VantisTest::WriteFileBytes(input("sizes/plain" + std::to_string(size)), VantisTest::RandomBytes(size, 7));
    }
    for (size_t size : {6 * MiB, 6 * MiB + 1, 13 * MiB}) {
        std::string text;
        while (text.size() < size) text += "line " + std::to_string(text.size()) + " of a long text file\n";
        VantisTest::WriteFileBytes(input("sizes/zipped" + std::to_string(size)), text.substr(0, size));
    }
    repack(42);
    ASSERT_EQ(EInstallResult::Success, install(BASE_ONLY, "en"));
    expectInstalledAsTheSource("en", false);

    std::vector<S> steps = listener.statuses;
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    EXPECT_EQ((std::vector<S>{S::Initializing, S::Preparing, S::ScanningInstalledFiles, S::ScanningDownloads,
                              S::AllocatingDiskSpace, S::Downloading, S::UpdatingFiles, S::InstallingComponents,
                              S::Complete}),
              steps);

    ProductInfo::Ptr record = stored();
    ASSERT_TRUE(record);
    EXPECT_EQ(EProductState::Installed, record->getProductState());
    // The support command ran from the game's support directory, told where the game is.
    EXPECT_EQ(installDirectory() + " en " + SampleGame::BASE_ID + " --quiet\n",
              VantisTest::ReadFileBytes(record->getSupportPath() + "/" + SampleGame::BASE_ID + "/setup.ran"));
    EXPECT_FALSE(record->getTargetIdentification());
    EXPECT_EQ(installDirectory(), record->getLocalPath());
    ProductInfo::Ptr engineRecord = core().findProduct(SampleGame::BASE_ID);
    ASSERT_TRUE(engineRecord);
    EXPECT_EQ(EProductState::Installed, engineRecord->getProductState());
    EXPECT_EQ(EManifestUpdateCode::UpToDate, checkForUpdates());
}

TEST_F(InstallThroughEngineTest, AnUpdateFetchesOnlyTheChangedFilesAndDeletesStaleOnes) {
    const size_t fileSize = 8192;
    for (unsigned i = 0; i < 100; ++i) {
        VantisTest::WriteFileBytes(input("data/many/f" + std::to_string(i) + ".bin"),
                                   VantisTest::RandomBytes(fileSize, i));
    }
    repack(42);
    ASSERT_EQ(EInstallResult::Success, install(BASE_ONLY, "en"));

    // One file of about a hundred changes, one goes away.
    const std::string changed = VantisTest::RandomBytes(fileSize, 1000);
    VantisTest::WriteFileBytes(input("data/many/f42.bin"), changed);
    Poco::File(input("data/many/f43.bin")).remove();
    repack(43);
    resetServed();

    ASSERT_EQ(EManifestUpdateCode::UpdateNeeded, checkForUpdates());
    ASSERT_TRUE(schedule([] { return core().proceedWithUpdate(EManifestUpdateCode::UpdateNeeded, BASE_ID); }));
    ASSERT_EQ(EInstallResult::Success, nextResult());
    expectInstalledAsTheSource("en", false);
    EXPECT_FALSE(Poco::File(installDirectory() + "/data/many/f43.bin").exists());
    const uint64_t fetched = objectBytesServed();
    RecordProperty("bytesFetched", std::to_string(fetched));
    RecordProperty("bytesChanged", std::to_string(changed.size()));
    EXPECT_EQ(changed.size(), fetched);
    EXPECT_EQ(43, stored()->getManifestTimestamp());
}

TEST_F(InstallThroughEngineTest, ExtraContentIsAddedAndRemovedAndTheLanguageSwitched) {
    ASSERT_EQ(EInstallResult::Success, install(BASE_ONLY, "en"));
    ASSERT_EQ(EInstallResult::Success, install({SampleGame::BASE_ID, SampleGame::DLC_ID}, "en"));
    expectInstalledAsTheSource("en", true);
    ASSERT_EQ(EInstallResult::Success, install(BASE_ONLY, "de"));
    // Directories come only from the manifests: the one the extra content's file
    // was in stays behind, empty.
    ASSERT_TRUE(Poco::File(installDirectory() + "/dlc").isDirectory());
    Poco::File(installDirectory() + "/dlc").remove();
    expectInstalledAsTheSource("de", false);
    EXPECT_EQ("de", stored()->getLanguage());
}

TEST_F(InstallThroughEngineTest, AGameNotOwnedOrNotKnownFailsWithItsOwnResult) {
    ASSERT_TRUE(core().installProductAsync("1999999999", {}, "en"));
    EXPECT_EQ(EInstallResult::UnknownGame, nextResult());
    connect("visitor", "guest");
    EXPECT_EQ(EInstallResult::NotAuthorized, install(BASE_ONLY, "en"));
}

TEST_F(InstallThroughEngineTest, AnInstallCutOffByTheBackendIsResumedFetchingOnlyWhatIsMissing) {
    slowDownloads();
    ASSERT_TRUE(core().installProductAsync(SampleGame::BASE_ID, BASE_ONLY, "en"));
    ASSERT_TRUE(downloadStarted());
    ASSERT_TRUE(drainUntil([this] { return objectBytesServed() > 0; }));
    const std::set<Part> before = partsServed();
    server->stop();
    ASSERT_EQ(EInstallResult::ConnectionError, nextResult());
    // The engine reloads the product once the task has returned.
    ASSERT_TRUE(VantisTest::WaitFor([] {
        ProductInfo::Ptr record = core().findProduct(SampleGame::BASE_ID);
        return record && record->getTargetIdentification();
    })) << "an interrupted install keeps its target";

    startBackend();
    connect();
    ASSERT_TRUE(schedule([] { return core().proceedWithUpdate(EManifestUpdateCode::UpToDate, BASE_ID); }));
    ASSERT_EQ(EInstallResult::Success, nextResult());
    expectInstalledAsTheSource("en", false);
    EXPECT_LE(fetchedAgain(before, partsServed()), 2u);
}

TEST_F(InstallThroughEngineTest, AnAbortedInstallLeavesTheInstallerServingAndANewInstallKeepsWhatWasFetched) {
    slowDownloads();
    ASSERT_TRUE(core().installProductAsync(SampleGame::BASE_ID, BASE_ONLY, "en"));
    ASSERT_TRUE(downloadStarted());
    ASSERT_TRUE(drainUntil([this] { return objectBytesServed() > 0; }));
    core().abortInstallProductAsync();
    ASSERT_EQ(EInstallResult::Aborted, nextResult());
    const std::set<Part> before = partsServed();
    resetServed();

    ASSERT_EQ(EInstallResult::Success, install(BASE_ONLY, "en"));
    expectInstalledAsTheSource("en", false);
    EXPECT_LE(fetchedAgain(before, partsServed()), 2u);
}

TEST_F(InstallThroughEngineTest, ADamagedInstallIsFoundByTheUpdateCheckAndRepaired) {
    const std::string source = VantisTest::ReadFileBytes(input("readme.txt"));
    const std::string file = installDirectory() + "/readme.txt";
    struct Damage {
        const char* name;
        void (*apply)(const std::string& path);
    };
    const Damage damages[] = {
        {"deleted", [](const std::string& path) { Poco::File(path).remove(); }},
        {"resized", [](const std::string& path) { VantisTest::WriteFileBytes(path, "short"); }},
    };
    ASSERT_EQ(EInstallResult::Success, install(BASE_ONLY, "en"));
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        damage.apply(file);
        ASSERT_EQ(EManifestUpdateCode::UpdateNeeded, checkForUpdates());
        ASSERT_TRUE(schedule([] { return core().proceedWithUpdate(EManifestUpdateCode::UpdateNeeded, BASE_ID); }));
        ASSERT_EQ(EInstallResult::Success, nextResult());
        EXPECT_EQ(source, VantisTest::ReadFileBytes(file));
        EXPECT_EQ(EManifestUpdateCode::UpToDate, checkForUpdates());
    }
}

TEST_F(InstallThroughEngineTest, AnUpdateWaitsWhileTheGameRunsAndSucceedsOnceItEnds) {
    ASSERT_EQ(EInstallResult::Success, install(BASE_ONLY, "en"));
    VantisTest::WriteFileBytes(input("readme.txt"), "Read me again.\n");
    repack(43);

    // The "game" holds one of its files open.
    Poco::ProcessHandle game =
        Poco::Process::launch("/bin/sh", {"-c", "exec sleep 60 < \"$0\"", installDirectory() + "/data/level.txt"});
    const RunningGameDetector detector({installDirectory()});
    RunningGameDetector::Use use;
    ASSERT_TRUE(VantisTest::WaitFor([&] { return detector.findUse(use); }));
    EXPECT_EQ(EInstallResult::GameInSession, install(BASE_ONLY, "en"));
    Poco::Process::kill(game);
    game.wait();

    ASSERT_EQ(EInstallResult::Success, install(BASE_ONLY, "en"));
    expectInstalledAsTheSource("en", false);
}

}  // namespace
}  // namespace VantisClient
