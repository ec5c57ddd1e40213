#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <Poco/Data/Session.h>
#include <Poco/Delegate.h>
#include <Poco/File.h>
#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "DownloadFixture.h"
#include "catalogue/CatalogueLayout.h"
#include "core/InstallProductTask.h"
#include "net/HttpManager.h"
#include "storage/StorageDBSerializer.h"
#include "support/WaitFor.h"

namespace VantisClient {
namespace {

using VantisTest::SampleGame;

// What one run of a task reported through its events.
struct Reports {
    void progress(const void*, ProductInstallProgressStruct& report) {
        statuses.push_back(report.status);
        lastProgress = report.progress;
        if (onProgress) onProgress(report);
    }
    void result(const void*, ProductInstallResultStruct& report) { results.push_back(report.result); }
    void state(const void*, ProductStateChangedStruct& report) { states.push_back(report.product->state); }

    std::vector<EInstallStatusCode> statuses;
    float lastProgress = 0.0f;
    std::vector<EInstallResult> results;
    std::vector<EProductState> states;
    std::function<void(const ProductInstallProgressStruct&)> onProgress;
};

class InstallProductTaskTest : public VantisTest::DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        StorageDBSerializer::Start(EngineSettings::OfThisUser().storagePath);
    }

    InstallProductTask::Ptr makeTask(const std::string& gameId, const tRevisionList& revisions,
                                     const std::string& language = "en") {
        InstallProductTask::Ptr task =
            new InstallProductTask(RemoteProductDefinition(gameId, revisions, language, false),
                                    EngineSettings::OfThisUser());
        task->progressEvent += Poco::delegate(&reports, &Reports::progress);
        task->resultEvent += Poco::delegate(&reports, &Reports::result);
        task->stateChangedEvent += Poco::delegate(&reports, &Reports::state);
        return task;
    }

    // Runs a task to its end on this thread; the one result it reported.
    EInstallResult install(const tRevisionList& revisions = {SampleGame::BASE_ID},
                           const std::string& gameId = SampleGame::BASE_ID) {
        reports = Reports();
        InstallProductTask::Ptr task = makeTask(gameId, revisions);
        task->doWork();
        EXPECT_EQ(1u, reports.results.size());
        return reports.results.empty() ? EInstallResult::Success : reports.results.back();
    }

    // The product as the index and its database hold it; null when not in the index.
    static ProductInfo::Ptr stored(const std::string& gameId = SampleGame::BASE_ID) {
        StorageDBSerializer::Products index;
        StorageDBSerializer::DeserializeIndex(index);
        for (ProductInfo::Ptr& entry : index) {
            if (entry->getGameId() != gameId) continue;
            StorageDBSerializer::DeserializeProduct(gameId, entry.get());
            return entry;
        }
        return ProductInfo::Ptr();
    }

    static void storeProduct(EProductState state, bool withTarget) {
        ProductInfo::Ptr record = new ProductInfo;
        record->setGameId(SampleGame::BASE_ID);
        record->setProductState(state, false);
        if (withTarget) {
            record->setTargetIdentification(
                new ProductIdentification(SampleGame::BASE_ID, 42, {SampleGame::BASE_ID}, "en"));
        }
        ASSERT_TRUE(StorageDBSerializer::SerializeProduct(record.get()));
        ASSERT_TRUE(StorageDBSerializer::UpdateProductInIndex(record.get()));
    }

    // The visitor owns nothing.
    void signInAsVisitor() {
        HttpManager::Instance()->signInWithPassword("visitor", "guest");
        ASSERT_TRUE(VantisTest::WaitFor(
            [] { return HttpManager::Instance()->getSignInState() == HttpManager::SIGNED_IN; }));
    }

    // Requests for file contents, not for manifests.
    size_t objectRequestCount() {
        size_t count = 0;
        for (const VantisTest::Served& request : served()) count += request.path.find("/objects/") != std::string::npos;
        return count;
    }

    Reports reports;
};

TEST_F(InstallProductTaskTest, InstallsTheGameReportingEachStepAndStoresItInstalled) {
    ASSERT_EQ(EInstallResult::Success, install());

    std::vector<EInstallStatusCode> steps = reports.statuses;
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    using S = EInstallStatusCode;
    EXPECT_EQ((std::vector<S>{S::Initializing, S::Preparing, S::ScanningInstalledFiles, S::ScanningDownloads,
                              S::AllocatingDiskSpace, S::Downloading, S::UpdatingFiles, S::InstallingComponents,
                              S::Complete}),
              steps);
    EXPECT_FLOAT_EQ(1.0f, reports.lastProgress);
    EXPECT_EQ((std::vector<EProductState>{EProductState::Installing}), reports.states);

    ProductInfo::Ptr record = stored();
    ASSERT_TRUE(record);
    EXPECT_EQ(EProductState::Installed, record->getProductState());
    EXPECT_FALSE(record->getTargetIdentification());
    EXPECT_EQ(sandbox.path("Library/Sample Game"), record->getLocalPath());
    EXPECT_EQ(42, record->getManifestTimestamp());
    EXPECT_EQ(VantisTest::ReadFileBytes(sandbox.path("input/base/common/data/level.txt")),
              VantisTest::ReadFileBytes(record->getLocalPath() + "/data/level.txt"));
    EXPECT_FALSE(record->getFiles().getInstalledFiles().empty());
}

struct FailureCase {
    const char* name;
    bool visitor;
    const char* gameId;
    // An empty selection skips the licence check.
    bool selectTheGame;
    EInstallResult expected;
};

class InstallFailureTest : public InstallProductTaskTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(InstallFailureTest, EndsWithTheResultOfTheFirstFailure) {
    if (GetParam().visitor) signInAsVisitor();
    const tRevisionList selection = GetParam().selectTheGame ? tRevisionList{GetParam().gameId} : tRevisionList{};
    EXPECT_EQ(GetParam().expected, install(selection, GetParam().gameId));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, InstallFailureTest,
    ::testing::Values(FailureCase{"NotOwned", true, SampleGame::BASE_ID, true, EInstallResult::NotAuthorized},
                      FailureCase{"UnknownGame", false, "1999999999", false, EInstallResult::UnknownGame}),
    [](const ::testing::TestParamInfo<FailureCase>& testCase) { return std::string(testCase.param.name); });

TEST_F(InstallProductTaskTest, TheBackendDownEndsWithAConnectionError) {
    server->stop();
    // An empty selection skips the licence check, which fails as well.
    EXPECT_EQ(EInstallResult::ConnectionError, install({}));
}

TEST_F(InstallProductTaskTest, AMalformedManifestEndsWithAServerError) {
    const std::string manifest =
        catalogue() + "/" + Catalogue::CatalogueLayout::ProductManifestPath(SampleGame::BASE_ID);
    // Valid JSON whose installer list holds a number where an object belongs:
    // the reader's conversion fails with an exception.
    VantisTest::WriteFileBytes(manifest, R"({"version": 1, "product": {"rootGameID": "1207658924",
        "installDirectory": "Sample Game", "timestamp": 43, "depots": [], "support_commands": [5]}})");
    EXPECT_EQ(EInstallResult::ServerError, install());
}

struct RefusedLicenceCase {
    const char* name;
    EProductState before;
    EProductState after;
    bool targetKept;
};

class RefusedLicenceTest : public InstallProductTaskTest, public ::testing::WithParamInterface<RefusedLicenceCase> {};

TEST_P(RefusedLicenceTest, OnlyAnInstalledGameIsMarkedInstalledAgain) {
    storeProduct(GetParam().before, true);
    signInAsVisitor();
    ASSERT_EQ(EInstallResult::NotAuthorized, install());
    ProductInfo::Ptr record = stored();
    ASSERT_TRUE(record);
    EXPECT_EQ(GetParam().after, record->getProductState());
    EXPECT_EQ(GetParam().targetKept, static_cast<bool>(record->getTargetIdentification()));
}

INSTANTIATE_TEST_SUITE_P(
    States, RefusedLicenceTest,
    ::testing::Values(RefusedLicenceCase{"Installed", EProductState::Installed, EProductState::Installed, false},
                      RefusedLicenceCase{"Updating", EProductState::Updating, EProductState::Updating, true},
                      RefusedLicenceCase{"Installing", EProductState::Installing, EProductState::Installing, true}),
    [](const ::testing::TestParamInfo<RefusedLicenceCase>& testCase) {
        return std::string(testCase.param.name);
    });

TEST_F(InstallProductTaskTest, AnUnreadableProductDatabaseAdoptsTheFilesOnDisk) {
    ASSERT_EQ(EInstallResult::Success, install());
    {
        // A format this client does not know: the database is made anew, empty.
        Poco::Data::Session database("SQLite", StorageDBSerializer::getDBpath(SampleGame::BASE_ID));
        database << "UPDATE DBInfo SET version = 99", Poco::Data::Keywords::now;
    }
    ASSERT_EQ(200, control("DELETE", "served").status);

    ASSERT_EQ(EInstallResult::Success, install());
    EXPECT_EQ(0u, objectRequestCount());
    ProductInfo::Ptr record = stored();
    ASSERT_TRUE(record);
    EXPECT_EQ(sandbox.path("Library/Sample Game"), record->getLocalPath());
    EXPECT_FALSE(record->getFiles().getInstalledFiles().empty());
}

TEST_F(InstallProductTaskTest, AnAbortDuringTheDownloadKeepsTheTargetAndANewTaskCompletes) {
    InstallProductTask::Ptr task = makeTask(SampleGame::BASE_ID, {SampleGame::BASE_ID});
    std::unique_ptr<std::thread> aborter;
    reports.onProgress = [&](const ProductInstallProgressStruct& report) {
        if (report.status == EInstallStatusCode::Downloading && !aborter) {
            aborter.reset(new std::thread([&] { task->abort(); }));
        }
    };
    task->doWork();
    ASSERT_TRUE(aborter);
    aborter->join();
    reports.onProgress = nullptr;
    ASSERT_EQ((std::vector<EInstallResult>{EInstallResult::Aborted}), reports.results);

    ProductInfo::Ptr record = stored();
    ASSERT_TRUE(record);
    EXPECT_EQ(EProductState::Installing, record->getProductState());
    ASSERT_TRUE(record->getTargetIdentification());
    EXPECT_EQ("en", record->getTargetIdentification()->language);

    ASSERT_EQ(EInstallResult::Success, install());
    EXPECT_EQ(EProductState::Installed, stored()->getProductState());
}

TEST_F(InstallProductTaskTest, AnAbortOnceTheFilesArePlacedLeavesTheInstallersAndFinalizationToTheNextRun) {
    InstallProductTask::Ptr task = makeTask(SampleGame::BASE_ID, {SampleGame::BASE_ID});
    reports.onProgress = [&](const ProductInstallProgressStruct& report) {
        if (report.status == EInstallStatusCode::UpdatingFiles) task->abort();
    };
    task->doWork();
    reports.onProgress = nullptr;
    ASSERT_EQ((std::vector<EInstallResult>{EInstallResult::Aborted}), reports.results);
    ProductInfo::Ptr record = stored();
    ASSERT_TRUE(record);
    const std::string ran = record->getSupportPath() + "/" + SampleGame::BASE_ID + "/setup.ran";
    EXPECT_FALSE(Poco::File(ran).exists());
    EXPECT_NE(EProductState::Installed, record->getProductState());
    EXPECT_TRUE(record->getTargetIdentification());

    ASSERT_EQ(EInstallResult::Success, install());
    EXPECT_EQ(EProductState::Installed, stored()->getProductState());
    EXPECT_TRUE(Poco::File(ran).exists());
    EXPECT_EQ(1u, stored()->getSupportCommands().size());
}

TEST_F(InstallProductTaskTest, AnAbortDuringTheDepotSelectionEndsAbortedNotAsAServerProblem) {
    // The link to a depot manifest comes at once; the manifest behind it is held back.
    addFault(R"({"listener": "api", "path": "^/content/.*1207658924_common", "action": "delay", "delayMs": 2000})");
    InstallProductTask::Ptr task = makeTask(SampleGame::BASE_ID, {SampleGame::BASE_ID});
    std::thread aborter([&] {
        VantisTest::WaitFor([&] {
            const std::vector<VantisTest::Served> requests = served();
            return std::any_of(requests.begin(), requests.end(), [](const VantisTest::Served& request) {
                return request.path.find("manifests/1207658924_common.json") != std::string::npos;
            });
        });
        task->abort();
    });
    task->doWork();
    aborter.join();
    EXPECT_EQ((std::vector<EInstallResult>{EInstallResult::Aborted}), reports.results);
    EXPECT_EQ(0u, objectRequestCount());
}

TEST_F(InstallProductTaskTest, TheFirstResultRecordedStays) {
    InstallProductTask::Ptr task = makeTask(SampleGame::BASE_ID, {SampleGame::BASE_ID});
    task->onAuthLost();
    task->abort();
    task->doWork();
    EXPECT_EQ((std::vector<EInstallResult>{EInstallResult::NotAuthorized}), reports.results);
}

TEST(InstallEnumerationTextTest, ResultsHaveTheGameCardTextsAndStepsTheirNames) {
    EXPECT_STREQ("Up to date", GetInstallResultText(EInstallResult::Success));
    EXPECT_STREQ("Installation Aborted", GetInstallResultText(EInstallResult::Aborted));
    EXPECT_STREQ("Game not known to Vantis", GetInstallResultText(EInstallResult::UnknownGame));
    EXPECT_STREQ("", GetInstallResultText(static_cast<EInstallResult>(9)));
    EXPECT_STREQ("Downloading", GetInstallStatusCodeName(EInstallStatusCode::Downloading));
    EXPECT_STREQ("", GetInstallStatusCodeName(static_cast<EInstallStatusCode>(8)));
}

}  // namespace
}  // namespace VantisClient
