#include <atomic>
#include <memory>
#include <thread>

#include <Poco/File.h>

#include "StorageTestSupport.h"
#include "storage/ProductStorageSession.h"

using namespace VantisClient;
using namespace StorageTestSupport;

namespace {

const char* const GAME_ID = "1207658924";
const char* const OTHER_ID = "1207658930";

class ProductStorageSessionTest : public StorageTest {
protected:
    // LevelDB lets one handle at a time open a database, so a test's own open
    // fails exactly while the facade keeps the product's databases open.
    bool keptOpen(const std::string& gameId) { return !CanOpen(databasePath(gameId, Database::InstalledFiles)); }

    static bool update(const std::string& gameId, const std::string& path) {
        return StorageDBSerializer::UpdateFileInProduct(gameId, MakeInstalledFile(path));
    }

    size_t installedCount(const std::string& gameId) {
        return ReadAll(databasePath(gameId, Database::InstalledFiles)).size();
    }
};

TEST_F(ProductStorageSessionTest, DatabasesStayOpenFromTheFirstCallUntilTheLastSessionEnds) {
    {
        ProductStorageSession outer(GAME_ID);
        // Keeping a product that has no file yet creates nothing.
        ProductInfo read;
        EXPECT_FALSE(StorageDBSerializer::DeserializeProduct(GAME_ID, &read));
        EXPECT_FALSE(Poco::File(StorageDBSerializer::getDBpath(GAME_ID)).exists());
        EXPECT_FALSE(Poco::File(productDirectory(GAME_ID)).exists());

        ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
        EXPECT_TRUE(keptOpen(GAME_ID));
        {
            ProductStorageSession inner(GAME_ID);
            EXPECT_TRUE(update(GAME_ID, "bin/one"));
        }
        EXPECT_TRUE(keptOpen(GAME_ID));
        EXPECT_TRUE(update(GAME_ID, "bin/two"));
    }
    EXPECT_FALSE(keptOpen(GAME_ID));
    EXPECT_EQ(3u, installedCount(GAME_ID));
}

TEST_F(ProductStorageSessionTest, ShutdownClosesWhatIsKeptOpen) {
    ProductStorageSession session(GAME_ID);
    ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
    ASSERT_TRUE(keptOpen(GAME_ID));
    StorageDBSerializer::Shutdown();
    EXPECT_FALSE(keptOpen(GAME_ID));
}

TEST_F(ProductStorageSessionTest, DeletingAKeptProductClosesItAndTheNextWriteKeepsItAgain) {
    ProductStorageSession session(GAME_ID);
    ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
    ASSERT_TRUE(StorageDBSerializer::DeleteProductDB(GAME_ID));
    EXPECT_FALSE(keptOpen(GAME_ID));
    EXPECT_FALSE(update(GAME_ID, "bin/one"));

    ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
    EXPECT_TRUE(Poco::File(StorageDBSerializer::getDBpath(GAME_ID)).exists());
    EXPECT_TRUE(keptOpen(GAME_ID));
}

TEST_F(ProductStorageSessionTest, DamagedFileOfAKeptProductIsClosedBeforeItIsMovedAside) {
    const std::string path = StorageDBSerializer::getDBpath(GAME_ID);
    {
        ProductStorageSession session(GAME_ID);
        ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
        ASSERT_TRUE(OpenInThisProcess(path));
        const std::string damaged = DamageFile(path, FileDamages().front());
        clearLog();
        EXPECT_FALSE(update(GAME_ID, "bin/one"));
        expectMovedAside("UpdateFileInProduct", path, damaged);
        // Kept again, on the new file.
        EXPECT_TRUE(keptOpen(GAME_ID));
        EXPECT_TRUE(OpenInThisProcess(path));
        EXPECT_TRUE(update(GAME_ID, "bin/two"));
    }
    EXPECT_EQ(1u, installedCount(GAME_ID));
}

// The same calls, on a product kept open and on one that is not, leave the same
// records in every database, and give the same results.
TEST_F(ProductStorageSessionTest, KeepingOpenChangesNoRecordOfItsProductNorOfAnother) {
    using Records = std::vector<std::vector<std::pair<std::string, std::string>>>;
    auto run = [this](bool keep) {
        std::unique_ptr<ProductStorageSession> session(keep ? new ProductStorageSession(GAME_ID) : nullptr);
        std::vector<bool> results;
        results.push_back(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
        results.push_back(StorageDBSerializer::SerializeProduct(MakeFullProduct(OTHER_ID).get()));
        results.push_back(update(GAME_ID, "bin/one"));
        results.push_back(update(OTHER_ID, "bin/other"));
        // Grown from 40 to 100 parts: its record moves to another database.
        results.push_back(StorageDBSerializer::UpdateFilesInProduct(
            GAME_ID, std::vector<DownloadingFileInfo::Ptr>{MakeDownloadingFile("data/big.pak", 100)}));
        ProductInfo read;
        results.push_back(StorageDBSerializer::DeserializeProduct(GAME_ID, &read));
        results.push_back(read.getFiles().getInstalledFiles().size() == 2);
        results.push_back(update(GAME_ID, "data/" + std::string(251, 'x')));
        results.push_back(update(GAME_ID, "bin/two"));
        session.reset();

        Records records;
        for (const char* gameId : {GAME_ID, OTHER_ID}) {
            for (int which = 0; which < Database::DatabaseCount; ++which) {
                records.push_back(ReadAll(databasePath(gameId, static_cast<Database>(which))));
            }
        }
        Poco::File(storagePath()).remove(true);
        return std::make_pair(results, records);
    };
    auto plain = run(false);
    auto kept = run(true);
    EXPECT_EQ(plain.first, kept.first);
    EXPECT_TRUE(plain.second == kept.second);
    EXPECT_EQ(std::vector<bool>({true, true, true, true, true, true, true, false, true}), plain.first);
}

TEST_F(ProductStorageSessionTest, KeptProductIsSharedByThreadsWhileOthersGoOn) {
    ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
    ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(OTHER_ID).get()));
    const int rounds = 10;
    std::atomic<int> failures{0};
    auto updateAll = [&failures](const std::string& gameId, const std::string& prefix) {
        for (int round = 0; round < rounds; ++round) {
            if (!update(gameId, prefix + std::to_string(round))) ++failures;
        }
    };
    std::thread install([&] {
        ProductStorageSession session(GAME_ID);
        updateAll(GAME_ID, "install/");
    });
    std::thread engine([&] {
        updateAll(GAME_ID, "engine/");
        updateAll(OTHER_ID, "engine/");
    });
    install.join();
    engine.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(size_t(1 + 2 * rounds), installedCount(GAME_ID));
    EXPECT_EQ(size_t(1 + rounds), installedCount(OTHER_ID));
}

}  // namespace
