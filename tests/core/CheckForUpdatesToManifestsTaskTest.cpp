#include <string>
#include <utility>
#include <vector>

#include <Poco/Data/Session.h>
#include <Poco/Delegate.h>
#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "DownloadFixture.h"
#include "catalogue/CatalogueLayout.h"
#include "core/CheckForUpdatesToManifestsTask.h"
#include "storage/StorageDBSerializer.h"

namespace VantisClient {
namespace {

using VantisTest::SampleGame;

struct Results {
    void add(const void*, ProductUpdateCheckResultStruct& result) { received.emplace_back(result.code, result.gameId); }
    std::vector<std::pair<EManifestUpdateCode, std::string>> received;
};

// The selection of the download fixture is installed in the sandbox with
// the manifest's timestamp; each test damages one thing.
class CheckForUpdatesToManifestsTaskTest : public VantisTest::DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        StorageDBSerializer::Start(EngineSettings::OfThisUser().storagePath);
        keepOnly({"readme.txt", "data/copy.txt"});
        for (const auto& entry : product->getFiles().getRemoteFiles()) {
            const std::string path = product->getLocalPath() + "/" + entry.first;
            VantisTest::WriteFileBytes(path, sourceBytes(entry.first));
            InstalledFileInfo::Ptr installed =
                new InstalledFileInfo(FileType::Game, entry.first, InstalledFileInfo::Hashed, path);
            installed->getFileInfo() = *entry.second;
            product->getFiles().getInstalledFiles()[entry.first] = installed;
        }
        product->setManifestTimestamp(definition->getManifestTimestamp());
        product->setRevisionList({SampleGame::BASE_ID});
        product->setLanguage("en");
        ASSERT_TRUE(StorageDBSerializer::SerializeProduct(product.get()));
        ASSERT_TRUE(StorageDBSerializer::UpdateProductInIndex(product.get()));
    }

    // Checks the products as the engine's copies of them would be after start-up:
    // index entries whose databases are not read yet.
    std::vector<std::pair<EManifestUpdateCode, std::string>> check(
        const std::vector<std::string>& extraGameIds = {}) {
        StorageDBSerializer::Products products;
        StorageDBSerializer::DeserializeIndex(products);
        for (const std::string& gameId : extraGameIds) {
            ProductInfo::Ptr unknown = new ProductInfo;
            unknown->setGameId(gameId);
            products.insert(products.begin(), unknown);
        }
        CheckForUpdatesToManifestsTask::Ptr task = new CheckForUpdatesToManifestsTask(products);
        task->updateCheckResultEvent += Poco::delegate(&results, &Results::add);
        task->doWork();
        return results.received;
    }

    using Received = std::vector<std::pair<EManifestUpdateCode, std::string>>;
    Results results;
};

TEST_F(CheckForUpdatesToManifestsTaskTest, AnIntactInstallIsUpToDateAndAProductWithoutManifestGetsNoResult) {
    EXPECT_EQ((Received{{EManifestUpdateCode::UpToDate, SampleGame::BASE_ID}}), check({"1999999999"}));
}

struct DamageCase {
    const char* name;
    void (*damage)(ProductInfo& product);
};

class DamageTest : public CheckForUpdatesToManifestsTaskTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamageTest, NeedsAnUpdate) {
    GetParam().damage(*product);
    EXPECT_EQ((Received{{EManifestUpdateCode::UpdateNeeded, SampleGame::BASE_ID}}), check());
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamageTest,
    ::testing::Values(
        DamageCase{"FileDeleted", [](ProductInfo& installed) {
                       ::remove((installed.getLocalPath() + "/readme.txt").c_str());
                   }},
        DamageCase{"FileResized", [](ProductInfo& installed) {
                       VantisTest::WriteFileBytes(installed.getLocalPath() + "/data/copy.txt", "longer than before\n");
                   }},
        DamageCase{"DatabaseUnreadable", [](ProductInfo&) {
                       // A format this client does not know.
                       Poco::Data::Session database("SQLite", StorageDBSerializer::getDBpath(SampleGame::BASE_ID));
                       database << "UPDATE DBInfo SET version = 99", Poco::Data::Keywords::now;
                   }},
        DamageCase{"NewManifest", [](ProductInfo& installed) {
                       installed.setManifestTimestamp(1);
                       StorageDBSerializer::UpdateProductInIndex(&installed);
                   }}),
    [](const ::testing::TestParamInfo<DamageCase>& testCase) { return std::string(testCase.param.name); });

TEST_F(CheckForUpdatesToManifestsTaskTest, AMalformedManifestGivesNoResultAndAnAbortedCheckNone) {
    const std::string manifest =
        catalogue() + "/" + Catalogue::CatalogueLayout::ProductManifestPath(SampleGame::BASE_ID);
    const std::string intact = VantisTest::ReadFileBytes(manifest);
    VantisTest::WriteFileBytes(manifest, R"({"version": 1, "product": {"rootGameID": "1207658924",
        "installDirectory": "Sample Game", "timestamp": 42, "depots": [], "support_commands": [5]}})");
    EXPECT_TRUE(check().empty());

    VantisTest::WriteFileBytes(manifest, intact);
    StorageDBSerializer::Products products;
    StorageDBSerializer::DeserializeIndex(products);
    CheckForUpdatesToManifestsTask::Ptr task = new CheckForUpdatesToManifestsTask(products);
    task->updateCheckResultEvent += Poco::delegate(&results, &Results::add);
    task->abort();
    task->doWork();
    EXPECT_TRUE(results.received.empty());
}

}  // namespace
}  // namespace VantisClient
