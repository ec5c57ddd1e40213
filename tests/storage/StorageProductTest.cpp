#include <atomic>
#include <functional>
#include <thread>

#include <Poco/File.h>

#include "StorageTestSupport.h"
#include "storage/StorageDBSerializer_Version1.h"

using namespace VantisClient;
using namespace StorageTestSupport;

namespace {

const char* const GAME_ID = "1207658924";

class StorageProductTest : public StorageTest {
protected:
    ProductInfo::Ptr readBack(const std::string& gameId, bool expectedResult = true) {
        ProductInfo::Ptr product = new ProductInfo;
        product->setGameId(gameId);
        product->setDownloadsPath("/downloads");
        EXPECT_EQ(expectedResult, StorageDBSerializer::DeserializeProduct(gameId, product.get()));
        return product;
    }

    // Writes `product` in format version 1, as an older client left it.
    void writeVersionOneProduct(ProductInfo& product) {
        StorageDBSerializer_Version1 version1;
        Poco::File(storagePath()).createDirectories();
        ASSERT_TRUE(version1.openDB(product.getGameId()));
        ASSERT_TRUE(version1.serializeToDB(&product));
        version1.closeDB(product.getGameId());
        RunSql(StorageDBSerializer::getDBpath(product.getGameId()),
               {"CREATE TABLE DBInfo( version UINT16);", "INSERT INTO DBInfo( version) VALUES( 1);"});
    }

    static std::vector<uint32_t> words(const FileParts& parts) {
        const uint32_t* data = nullptr;
        uint16_t count = 0;
        parts.getElements(data, count);
        return std::vector<uint32_t>(data, data + count);
    }

    static void expectSameDownloadingFile(const DownloadingFileInfo& written, const DownloadingFileInfo& read) {
        EXPECT_EQ(written.getState(), read.getState());
        EXPECT_EQ(written.getFileInfo().getType(), read.getFileInfo().getType());
        EXPECT_EQ(written.getFileInfo().getHash(), read.getFileInfo().getHash());
        EXPECT_EQ(written.getFileInfo().getSize(), read.getFileInfo().getSize());
        EXPECT_EQ("/downloads/" + written.getFileInfo().getPath(), read.getFullPath());
        // An empty file keeps no bitmap.
        if (written.getFileInfo().getSize() != 0) {
            EXPECT_EQ(words(written.getParts()), words(read.getParts()));
        }
        EXPECT_EQ(written.getParts().getMarkedPartsCount(), read.getParts().getMarkedPartsCount());
        EXPECT_EQ(0, read.getDownloadingParts().getMarkedPartsCount());
    }

    static void expectSameInstalledFile(const InstalledFileInfo& written, const InstalledFileInfo& read) {
        EXPECT_EQ(written.getState(), read.getState());
        EXPECT_EQ(written.getFileInfo().getType(), read.getFileInfo().getType());
        EXPECT_EQ(written.getFileInfo().getHash(), read.getFileInfo().getHash());
        EXPECT_EQ(written.getFileInfo().getSize(), read.getFileInfo().getSize());
        EXPECT_EQ(written.getFullPath(), read.getFullPath());
    }

    // Every list of `written` that the product database keeps is in `read`.
    static void expectSameProductLists(ProductInfo& written, ProductInfo& read) {
        ASSERT_EQ(written.getFiles().getDownloadingFiles().size(), read.getFiles().getDownloadingFiles().size());
        for (const auto& entry : written.getFiles().getDownloadingFiles()) {
            SCOPED_TRACE(entry.first);
            auto found = read.getFiles().getDownloadingFiles().find(entry.first);
            ASSERT_TRUE(found != read.getFiles().getDownloadingFiles().end());
            expectSameDownloadingFile(*entry.second, *found->second);
        }
        ASSERT_EQ(written.getFiles().getInstalledFiles().size(), read.getFiles().getInstalledFiles().size());
        for (const auto& entry : written.getFiles().getInstalledFiles()) {
            SCOPED_TRACE(entry.first);
            auto found = read.getFiles().getInstalledFiles().find(entry.first);
            ASSERT_TRUE(found != read.getFiles().getInstalledFiles().end());
            expectSameInstalledFile(*entry.second, *found->second);
        }
        ASSERT_EQ(written.getRedistributables().size(), read.getRedistributables().size());
        for (size_t i = 0; i < written.getRedistributables().size(); ++i) {
            EXPECT_EQ(written.getRedistributables()[i].executable, read.getRedistributables()[i].executable);
            EXPECT_EQ(written.getRedistributables()[i].argument, read.getRedistributables()[i].argument);
            EXPECT_EQ(written.getRedistributables()[i].executed, read.getRedistributables()[i].executed);
        }
        ASSERT_EQ(written.getDirectories().size(), read.getDirectories().size());
        for (size_t i = 0; i < written.getDirectories().size(); ++i) {
            const DirInfo& expected = written.getDirectories()[i];
            const DirInfo& actual = read.getDirectories()[i];
            EXPECT_EQ(expected.definition->getPath(), actual.definition->getPath());
            EXPECT_EQ(expected.definition->isSupport(), actual.definition->isSupport());
            EXPECT_EQ(expected.state, actual.state);
            EXPECT_FALSE(actual.deleteFlag);
            EXPECT_EQ("", actual.fullPath);
        }
        EXPECT_NE(0u, read.getLoadedData() & ProductInfo::ProductDBSection);
    }
};

TEST_F(StorageProductTest, EveryRecordKindComesBackInKeyOrder) {
    ProductInfo::Ptr product = MakeFullProduct(GAME_ID);
    product->getSupportCommands().clear();
    for (const char* executable : {"c/setup", "a/setup", "b/setup"}) {
        product->getSupportCommands().emplace_back(GAME_ID, executable, std::string("--") + executable);
    }
    product->getDirectories().emplace_back(new RemoteDirDefinition(true, "saves"), DirInfo::Pending);
    product->getDirectories().emplace_back(new RemoteDirDefinition(true, "data"), DirInfo::Pending);
    product->getFiles().addDownloadingFileInfo(MakeDownloadingFile("data/medium.pak", 100));
    product->getFiles().addDownloadingFileInfo(MakeDownloadingFile("data/huge.pak", 1000));
    product->getFiles().addDownloadingFileInfo(MakeDownloadingFile("data/empty.pak", 0));
    product->getFiles().addInstalledFileInfo(MakeInstalledFile("bin/tool", "0123456789abcdef0123456789abcdef"));
    ASSERT_TRUE(StorageDBSerializer::SerializeProduct(product.get()));

    // 40 parts take 2 words, 100 take 4 and 1000 take 32.
    EXPECT_EQ(2u, ReadAll(databasePath(GAME_ID, Database::DownloadingFilesSmall)).size());
    EXPECT_EQ(1u, ReadAll(databasePath(GAME_ID, Database::DownloadingFilesMedium)).size());
    EXPECT_EQ(1u, ReadAll(databasePath(GAME_ID, Database::DownloadingFilesBig)).size());

    ProductInfo::Ptr read = readBack(GAME_ID);
    ASSERT_EQ(3u, read->getSupportCommands().size());
    EXPECT_EQ("a/setup", read->getSupportCommands()[0].executable);
    EXPECT_EQ("--a/setup", read->getSupportCommands()[0].argument);
    EXPECT_EQ(GAME_ID, read->getSupportCommands()[0].gameId);
    EXPECT_EQ("b/setup", read->getSupportCommands()[1].executable);
    EXPECT_EQ("c/setup", read->getSupportCommands()[2].executable);
    // The later "data" entry replaced the first one; directories come back by path.
    ASSERT_EQ(2u, read->getDirectories().size());
    EXPECT_EQ("data", read->getDirectories()[0].definition->getPath());
    EXPECT_TRUE(read->getDirectories()[0].definition->isSupport());
    EXPECT_EQ(DirInfo::Pending, read->getDirectories()[0].state);
    EXPECT_EQ("saves", read->getDirectories()[1].definition->getPath());
    product->getDirectories().erase(product->getDirectories().begin());
    std::swap(product->getDirectories()[0], product->getDirectories()[1]);
    expectSameProductLists(*product, *read);
    EXPECT_EQ(0, read->getFiles().getDownloadingFiles()["data/empty.pak"]->getParts().getPartsCount());
    // The links come back, so that an update or an uninstall can remove them.
    const SymLinkFiles::InstalledSymLinks& links = read->getSymLinks().getInstalledSymLinks();
    ASSERT_EQ(1u, links.size());
    EXPECT_EQ("/games/product/lib/current", links.begin()->first);
    EXPECT_EQ("/games/product/lib/v2", links.begin()->second->getFullTargetPath());
}

TEST_F(StorageProductTest, ProductWithoutAFileIsNotReadAndNothingIsCreated) {
    readBack(GAME_ID, false);
    EXPECT_FALSE(Poco::File(StorageDBSerializer::getDBpath(GAME_ID)).exists());
    EXPECT_FALSE(Poco::File(productDirectory(GAME_ID)).exists());
    EXPECT_FALSE(StorageDBSerializer::UpdateFileInProduct(GAME_ID, MakeInstalledFile("bin/game")));
    EXPECT_FALSE(Poco::File(StorageDBSerializer::getDBpath(GAME_ID)).exists());
}

TEST_F(StorageProductTest, VersionOneProductIsMigratedToTheKeyValueDatabases) {
    ProductInfo::Ptr product = MakeFullProduct(GAME_ID);
    product->getFiles().addDownloadingFileInfo(MakeDownloadingFile("data/medium.pak", 100));
    writeVersionOneProduct(*product);

    ProductInfo::Ptr read = readBack(GAME_ID);
    EXPECT_EQ("2", QueryText(StorageDBSerializer::getDBpath(GAME_ID), "SELECT version FROM DBInfo"));
    expectSameProductLists(*product, *read);
    ASSERT_EQ(1u, read->getSupportCommands().size());
    EXPECT_EQ("support/setup.sh", read->getSupportCommands()[0].executable);
    // Read from the new databases from now on: a second read sees the same.
    expectSameProductLists(*product, *readBack(GAME_ID));
}

TEST_F(StorageProductTest, MigrationCutShortRunsAgainAtTheNextOpen) {
    ProductInfo::Ptr product = MakeFullProduct(GAME_ID);
    writeVersionOneProduct(*product);
    // The new databases were written, with a file that is not in the old
    // tables, but the version row was never updated.
    ProductInfo::Ptr partial = MakeFullProduct(GAME_ID);
    partial->getFiles().addInstalledFileInfo(MakeInstalledFile("stale/file"));
    StorageDBSerializer_Version2 version2;
    ASSERT_TRUE(version2.createDB(GAME_ID));
    ASSERT_TRUE(version2.serializeToDB(partial.get()));
    version2.closeDB(GAME_ID);

    ProductInfo::Ptr read = readBack(GAME_ID);
    expectSameProductLists(*product, *read);
    EXPECT_EQ(1u, read->getSupportCommands().size());
    EXPECT_EQ("2", QueryText(StorageDBSerializer::getDBpath(GAME_ID), "SELECT version FROM DBInfo"));
}

TEST_F(StorageProductTest, ProductFileInAnUnknownVersionIsRecreatedEmpty) {
    ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
    RunSql(StorageDBSerializer::getDBpath(GAME_ID), {"UPDATE DBInfo SET version=3"});

    readBack(GAME_ID, false);
    EXPECT_TRUE(ReadAll(databasePath(GAME_ID, Database::InstalledFiles)).empty());
    EXPECT_FALSE(StorageDBSerializer::UpdateFileInProduct(GAME_ID, MakeInstalledFile("bin/game")));
    EXPECT_EQ("2", QueryText(StorageDBSerializer::getDBpath(GAME_ID), "SELECT version FROM DBInfo"));
    ProductInfo::Ptr read = readBack(GAME_ID);
    EXPECT_TRUE(read->getFiles().getInstalledFiles().empty());
    EXPECT_TRUE(read->getSupportCommands().empty());
}

TEST_F(StorageProductTest, ProductFileThatCannotBeReadIsLeftAsItIs) {
    ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
    const std::string path = StorageDBSerializer::getDBpath(GAME_ID);
    ProductInfo read;
    struct Case {
        const char* operation;
        std::function<bool()> call;
    };
    const Case cases[] = {
        {"SerializeProduct", [] { return StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()); }},
        {"DeserializeProduct", [&read] { return StorageDBSerializer::DeserializeProduct(GAME_ID, &read); }},
        {"UpdateFileInProduct",
         [] { return StorageDBSerializer::UpdateFileInProduct(GAME_ID, MakeInstalledFile("bin/more")); }},
        {"UpdateFilesInProduct",
         [] {
             return StorageDBSerializer::UpdateFilesInProduct(
                 GAME_ID, std::vector<DownloadingFileInfo::Ptr>{MakeDownloadingFile("data/more.pak", 3)});
         }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.operation);
        BreakSqliteReads(path);
        clearLog();
        EXPECT_FALSE(test.call());
        EXPECT_TRUE(logged(std::string("[Error]: ") + test.operation + ": could not read the format of '" + path +
                           "'; the file is left as it is."))
            << recentLog();
        RestoreSqliteReads(path);

        EXPECT_EQ("2", QueryText(path, "SELECT version FROM DBInfo"));
        ProductInfo::Ptr product = MakeFullProduct(GAME_ID);
        expectSameProductLists(*product, *readBack(GAME_ID));
    }
}

TEST_F(StorageProductTest, DamagedProductFileIsMovedAsideAndTheProductStartsAnew) {
    const std::string path = StorageDBSerializer::getDBpath(GAME_ID);
    struct Case {
        const char* operation;
        std::function<bool()> call;
        bool result;
        // Nothing of the damaged product's records is left: only what the call wrote.
        size_t installedAfter;
    };
    const Case cases[] = {
        {"SerializeProduct", [] { return StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()); },
         true, 1},
        {"UpdateFileInProduct",
         [] { return StorageDBSerializer::UpdateFileInProduct(GAME_ID, MakeInstalledFile("bin/more")); }, false, 0},
    };
    for (const Case& test : cases) {
        for (const Damage& damage : FileDamages()) {
            SCOPED_TRACE(std::string(test.operation) + ", " + damage.name);
            ProductInfo::Ptr old = MakeFullProduct(GAME_ID);
            old->getFiles().addInstalledFileInfo(MakeInstalledFile("bin/old"));
            ASSERT_TRUE(StorageDBSerializer::SerializeProduct(old.get()));
            const std::string damaged = DamageFile(path, damage);
            clearLog();
            EXPECT_EQ(test.result, test.call());
            expectMovedAside(test.operation, path, damaged);
            EXPECT_EQ(test.installedAfter, ReadAll(databasePath(GAME_ID, Database::InstalledFiles)).size());

            ProductInfo::Ptr product = MakeFullProduct(GAME_ID);
            ASSERT_TRUE(StorageDBSerializer::SerializeProduct(product.get()));
            expectSameProductLists(*product, *readBack(GAME_ID));
        }
    }
}

TEST_F(StorageProductTest, FileUpdatesReplaceTheirRecordWhereverItWas) {
    ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
    InstalledFileInfo::Ptr rehashed = MakeInstalledFile("bin/game", "ffffffffffffffffffffffffffffffff");
    ASSERT_TRUE(StorageDBSerializer::UpdateFileInProduct(GAME_ID, rehashed));
    ASSERT_TRUE(StorageDBSerializer::UpdateFilesInProduct(GAME_ID, std::vector<InstalledFileInfo::Ptr>{MakeInstalledFile("bin/other")}));
    // The file grew from 40 to 100 parts: its record moves to the medium database.
    DownloadingFileInfo::Ptr grown = MakeDownloadingFile("data/big.pak", 100);
    ASSERT_TRUE(StorageDBSerializer::UpdateFileInProduct(GAME_ID, grown));
    ASSERT_TRUE(StorageDBSerializer::UpdateFilesInProduct(GAME_ID, std::vector<DownloadingFileInfo::Ptr>{MakeDownloadingFile("data/new.pak", 3)}));

    ProductInfo::Ptr read = readBack(GAME_ID);
    ASSERT_EQ(2u, read->getFiles().getInstalledFiles().size());
    expectSameInstalledFile(*rehashed, *read->getFiles().getInstalledFiles()["bin/game"]);
    ASSERT_EQ(2u, read->getFiles().getDownloadingFiles().size());
    expectSameDownloadingFile(*grown, *read->getFiles().getDownloadingFiles()["data/big.pak"]);
    EXPECT_EQ(1u, ReadAll(databasePath(GAME_ID, Database::DownloadingFilesSmall)).size());
}

TEST_F(StorageProductTest, TextThatDoesNotFitIsRefusedNotCut) {
    const std::string longPath = "data/" + std::string(251, 'x');  // 256 bytes
    const std::string fittingPath = "data/" + std::string(250, 'y');  // 255 bytes
    struct Case {
        const char* name;
        std::function<void(ProductInfo&)> add;
        std::string expectedLog;
    };
    const Case cases[] = {
        {"installed file path", [&](ProductInfo& p) { p.getFiles().addInstalledFileInfo(MakeInstalledFile(longPath)); },
         "Cannot store installed file '" + longPath + "' in the product database: its path has 256 bytes"},
        {"installed file full path",
         [&](ProductInfo& p) {
             p.getFiles().addInstalledFileInfo(
                 new InstalledFileInfo(FileType::Game, "ok", InstalledFileInfo::Hashed, "/" + longPath));
         },
         "Cannot store installed file 'ok' in the product database: its full path has 257 bytes"},
        {"hash",
         [&](ProductInfo& p) { p.getFiles().addInstalledFileInfo(MakeInstalledFile("bin/h", std::string(33, 'b'))); },
         "Cannot store installed file 'bin/h' in the product database: its hash has 33 bytes, at most 32 fit"},
        {"downloading file path",
         [&](ProductInfo& p) { p.getFiles().addDownloadingFileInfo(MakeDownloadingFile(longPath, 3)); },
         "Cannot store downloading file '" + longPath + "'"},
        {"support game id",
         [&](ProductInfo& p) { p.getSupportCommands().emplace_back(std::string(33, '1'), "run", ""); },
         "Cannot store support command 'run' in the product database: its game id has 33 bytes, at most 32 fit"},
        {"directory path",
         [&](ProductInfo& p) { p.getDirectories().emplace_back(new RemoteDirDefinition(false, longPath), DirInfo::Pending); },
         "Cannot store directory '" + longPath + "'"},
        {"link target",
         [&](ProductInfo& p) { p.getSymLinks().addInstalledSymLinkInfo(new InstalledSymLinkInfo("/l", "/" + longPath, "file")); },
         "Cannot store symbolic link '/l' in the product database: its full target path has 257 bytes"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ProductInfo::Ptr product = MakeFullProduct(GAME_ID);
        product->getFiles().addInstalledFileInfo(
            new InstalledFileInfo(FileType::Game, fittingPath, InstalledFileInfo::Unverified, "/games/fits"));
        test.add(*product);
        clearLog();
        // A record left out is logged, not a failure of the product's write.
        EXPECT_TRUE(StorageDBSerializer::SerializeProduct(product.get()));
        EXPECT_TRUE(logged("[Error]: " + test.expectedLog)) << recentLog();

        // Everything else was stored, and nothing shortened was.
        ProductInfo::Ptr read = readBack(GAME_ID);
        EXPECT_EQ(1u, read->getSupportCommands().size());
        EXPECT_EQ(1u, read->getFiles().getDownloadingFiles().size());
        EXPECT_EQ(1u, read->getDirectories().size());
        EXPECT_EQ(1u, ReadAll(databasePath(GAME_ID, Database::InstalledSymLinks)).size());
        EXPECT_EQ(2u, read->getFiles().getInstalledFiles().size());
        EXPECT_EQ(1u, read->getFiles().getInstalledFiles().count(fittingPath));
    }
    EXPECT_FALSE(StorageDBSerializer::UpdateFileInProduct(GAME_ID, MakeInstalledFile(longPath)));
    EXPECT_FALSE(StorageDBSerializer::UpdateFilesInProduct(GAME_ID, std::vector<DownloadingFileInfo::Ptr>{MakeDownloadingFile(longPath, 1)}));
}

TEST_F(StorageProductTest, GameIdsThatAreNotPlainNamesAreRefused) {
    ASSERT_TRUE(StorageDBSerializer::SerializeIndex({MakeFullProduct(GAME_ID)}));
    for (const char* gameId : {"", ".", "..", "../outside", "a/b", "/tmp"}) {
        SCOPED_TRACE(gameId);
        ProductInfo::Ptr product = MakeFullProduct(gameId);
        EXPECT_FALSE(StorageDBSerializer::SerializeProduct(product.get()));
        EXPECT_FALSE(StorageDBSerializer::DeserializeProduct(gameId, product.get()));
        EXPECT_FALSE(StorageDBSerializer::UpdateFileInProduct(gameId, MakeInstalledFile("a")));
        EXPECT_FALSE(StorageDBSerializer::DeleteProductDB(gameId));
    }
    EXPECT_TRUE(Poco::File(StorageDBSerializer::getIndexDBPath()).exists());
    EXPECT_FALSE(Poco::File(sandbox.path("outside.db")).exists());
    EXPECT_FALSE(Poco::File(sandbox.path("outside")).exists());
}

TEST_F(StorageProductTest, DeleteProductDBRemovesTheProductFileOnly) {
    ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
    EXPECT_TRUE(StorageDBSerializer::DeleteProductDB(GAME_ID));
    EXPECT_TRUE(logged("[Information]: DeleteProductDB complete for gameId 1207658924")) << recentLog();
    EXPECT_FALSE(Poco::File(StorageDBSerializer::getDBpath(GAME_ID)).exists());
    EXPECT_TRUE(Poco::File(productDirectory(GAME_ID)).exists());
    readBack(GAME_ID, false);
    EXPECT_TRUE(StorageDBSerializer::DeleteProductDB(GAME_ID));
}

TEST_F(StorageProductTest, CallsFromSeveralThreadsDoNotOverlap) {
    std::atomic<int> failures{0};
    auto work = [&failures](const std::string& gameId) {
        for (int round = 0; round < 5; ++round) {
            ProductInfo::Ptr product = MakeFullProduct(gameId);
            if (!StorageDBSerializer::SerializeProduct(product.get())) ++failures;
            if (!StorageDBSerializer::UpdateFileInProduct(gameId, MakeInstalledFile("bin/more"))) ++failures;
            ProductInfo read;
            if (!StorageDBSerializer::DeserializeProduct(gameId, &read)) ++failures;
            if (read.getFiles().getInstalledFiles().size() != 2) ++failures;
            if (!StorageDBSerializer::UpdateProductInIndex(product.get())) ++failures;
        }
    };
    ASSERT_TRUE(StorageDBSerializer::SerializeIndex({}));
    std::thread first(work, "100");
    std::thread second(work, "200");
    first.join();
    second.join();
    EXPECT_EQ(0, failures.load());
    StorageDBSerializer::Products products;
    ASSERT_TRUE(StorageDBSerializer::DeserializeIndex(products));
    EXPECT_EQ(2u, products.size());
}

TEST_F(StorageProductTest, VersionOnePartsAreOneRowEachAndComeBackWithTheirCount) {
    Poco::File(storagePath()).createDirectories();

    ProductInfo product;
    product.setGameId(GAME_ID);
    DownloadingFileInfo::Ptr threeParts = MakeDownloadingFile("a.pak", 3);
    threeParts->getParts().unmarkPart(0);
    threeParts->getParts().markPart(1);
    product.getFiles().addDownloadingFileInfo(threeParts);
    DownloadingFileInfo::Ptr noParts = MakeDownloadingFile("b.pak", 0);
    product.getFiles().addDownloadingFileInfo(noParts);
    StorageDBSerializer_Version1 version1;
    ASSERT_TRUE(version1.openDB(GAME_ID));
    ASSERT_TRUE(version1.serializeToDB(&product));

    std::string path = StorageDBSerializer::getDBpath(GAME_ID);
    EXPECT_EQ("0:0,1:1,2:0", QueryText(path, "SELECT group_concat(partIndex || ':' || value) FROM DownloadingParts "
                                             "WHERE path='a.pak' ORDER BY partIndex"));
    ProductInfo read;
    ASSERT_TRUE(version1.deserializeFromDB(&read));
    const FileParts& parts = read.getFiles().getDownloadingFiles()["a.pak"]->getParts();
    EXPECT_EQ(3, parts.getPartsCount());
    EXPECT_EQ(1, parts.getMarkedPartsCount());
    EXPECT_TRUE(parts.getPartState(1));
    EXPECT_EQ(0, read.getFiles().getDownloadingFiles()["b.pak"]->getParts().getPartsCount());
    version1.closeDB(GAME_ID);
}

}  // namespace
