#include <string>

#include <Poco/Delegate.h>
#include <Poco/File.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/UserPreferences.h"
#include "core/LoadProductsTask.h"
#include "core/ProductInfoLocalPathChecks.h"
#include "storage/StorageDBSerializer.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

const char* const GAME_ID = "1207658924";

class LoadProductsTaskTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        StorageDBSerializer::Start(preferences.getStoragePath());
        RecentMemoryBufferChannel::Instance().Clear();
        Poco::File(gameDir()).createDirectories();
    }

    std::string gameDir() { return sandbox.path("Games/Zorv"); }
    static bool logged(const std::string& text) {
        return RecentMemoryBufferChannel::Instance().getContents().find(text) != std::string::npos;
    }

    // Runs the task on this thread; true when it fired its event.
    bool run(LoadProductsTask& task) {
        task.productsLoadedEvent += Poco::delegate(this, &LoadProductsTaskTest::onLoaded);
        task.doWork();
        task.productsLoadedEvent -= Poco::delegate(this, &LoadProductsTaskTest::onLoaded);
        return fired;
    }
    void onLoaded(const void*, ProductsLoaded_Result& loaded) {
        fired = true;
        result = loaded;
    }

    static ProductInfo::Ptr indexedProduct(const std::string& gameId, const std::string& localPath) {
        ProductInfo::Ptr product = new ProductInfo;
        product->setGameId(gameId);
        product->setLocalPath(localPath);
        product->setProductState(EProductState::Installed, false);
        return product;
    }

    UserPreferences preferences;
    bool fired = false;
    ProductsLoaded_Result result;
};

TEST_F(LoadProductsTaskTest, EmptyMachineGetsAPlaceholderForTheLaunchedGame) {
    LoadProductsTask::Ptr task = new LoadProductsTask(gameDir(), GAME_ID);
    ASSERT_TRUE(run(*task));

    EXPECT_FALSE(result.failed);
    ASSERT_EQ(1u, result.products.size());
    const ProductInfo& product = *result.products[0];
    EXPECT_EQ(GAME_ID, product.getGameId());
    EXPECT_EQ(EProductState::OfflineUnplayable, product.getProductState());
    EXPECT_EQ(gameDir(), product.getLocalPath());
    EXPECT_TRUE(logged("Created offline product info: gameID 1207658924, path " + gameDir())) << gameDir();
    EXPECT_TRUE(logged("[Information]: Found 1 games"));
    EXPECT_TRUE(Poco::File(StorageDBSerializer::getDBpath(GAME_ID)).exists());

    StorageDBSerializer::Products indexed;
    ASSERT_TRUE(StorageDBSerializer::DeserializeIndex(indexed));
    ASSERT_EQ(1u, indexed.size());
    EXPECT_EQ(EProductState::OfflineUnplayable, indexed[0]->getProductState());
}

TEST_F(LoadProductsTaskTest, GameAlreadyInTheIndexGetsItsInfoFilesAndNoPlaceholder) {
    ASSERT_TRUE(StorageDBSerializer::SerializeIndex(
        {indexedProduct("42", sandbox.path("Games/Other")), indexedProduct(GAME_ID, gameDir())}));
    sandbox.writeFile("Games/Zorv/.zorvgame-1207658924.info",
                      R"({"gameId": "1207658924", "dependencyGameId": "", "language": "de", "name": "Zorv",
                          "workingDir": "/g"})");

    LoadProductsTask::Ptr task = new LoadProductsTask(gameDir(), GAME_ID);
    ASSERT_TRUE(run(*task));

    ASSERT_EQ(2u, result.products.size());
    EXPECT_EQ("42", result.products[0]->getGameId());
    const ProductInfo& launched = *result.products[1];
    EXPECT_EQ(EProductState::Installed, launched.getProductState());
    EXPECT_EQ("Zorv", launched.getMiniManifestContents().name);
    EXPECT_EQ("de", launched.getLanguage());
    EXPECT_FALSE(logged("Created offline product info"));
    EXPECT_TRUE(logged("[Information]: Found 2 games"));
    EXPECT_FALSE(Poco::File(StorageDBSerializer::getDBpath(GAME_ID)).exists());
}

TEST_F(LoadProductsTaskTest, LaunchedPathThatDoesNotExistLeavesThePlaceholderWithoutOne) {
    const std::string missing = sandbox.path("Games/Gone");
    LoadProductsTask::Ptr task = new LoadProductsTask(missing, GAME_ID);
    ASSERT_TRUE(run(*task));

    ASSERT_EQ(1u, result.products.size());
    EXPECT_EQ("", result.products[0]->getLocalPath());
    EXPECT_TRUE(logged("[Warning]: Failed checking product 1207658924 directory '" + missing + "'"));
}

TEST_F(LoadProductsTaskTest, AbortedBeforeTheRunFiresNothingAndWritesNoIndex) {
    LoadProductsTask::Ptr task = new LoadProductsTask(gameDir(), GAME_ID);
    task->abort();
    EXPECT_FALSE(run(*task));
    EXPECT_FALSE(Poco::File(StorageDBSerializer::getIndexDBPath()).exists());
}

TEST_F(LoadProductsTaskTest, IndexThatCannotBeWrittenSetsTheFailedFlag) {
    // A directory where the index file belongs cannot be opened, read or replaced.
    Poco::File(sandbox.path("Storage/index.db")).createDirectories();
    LoadProductsTask::Ptr task = new LoadProductsTask(gameDir(), GAME_ID);
    ASSERT_TRUE(run(*task));
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(1u, result.products.size());
}

TEST_F(LoadProductsTaskTest, LocalPathChecksKeepOnlyPathsThatExist) {
    struct Case {
        std::string path;
        std::string expected;
        bool warns;
    };
    const Case cases[] = {
        {"", "", false},
        {gameDir(), gameDir(), false},
        {sandbox.path("Games/Gone"), "", true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.path);
        RecentMemoryBufferChannel::Instance().Clear();
        ProductInfo product;
        product.setGameId(GAME_ID);
        product.setLocalPath("/previous");
        ProductInfoLocalPathChecks(product, test.path);
        EXPECT_EQ(test.expected, product.getLocalPath());
        EXPECT_EQ(test.warns, logged("Failed checking product 1207658924 directory '" + test.path + "'"));
    }
}

}  // namespace
