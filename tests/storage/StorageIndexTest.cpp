#include <functional>

#include <Poco/File.h>

#include "StorageTestSupport.h"
#include "storage/StorageIndexSerializer_Version1.h"

using namespace VantisClient;
using namespace StorageTestSupport;

namespace {

class StorageIndexTest : public StorageTest {
protected:
    std::string indexPath() { return StorageDBSerializer::getIndexDBPath(); }

    static ProductInfo::Ptr makeIndexedProduct(const std::string& gameId, bool withTarget) {
        ProductInfo::Ptr product = new ProductInfo;
        product->setGameId(gameId);
        product->setManifestTimestamp(1700000000123);
        product->setProductState(EProductState::Installed, false);
        product->setLocalPath("/games/" + gameId);
        product->setDownloadsPath("/downloads/" + gameId);
        product->setSupportPath("/support/" + gameId);
        product->setLanguage("en");
        product->getAvailableLanguages().add_unique(LanguageInfo("en"));
        product->getAvailableLanguages().add_unique(LanguageInfo("Neutral"));
        AvailableGameIDInfo dlc(gameId + "1", false);
        dlc.dependencies = {gameId};
        dlc.names.addString(0, "Extra chapter");
        product->getAvailableGameIDs().push_back(AvailableGameIDInfo(gameId, true));
        product->getAvailableGameIDs().push_back(dlc);
        product->setRevisionList(tRevisionList{gameId, gameId + "1"});
        if (withTarget) {
            product->setTargetIdentification(new ProductIdentification(gameId, 99, tRevisionList{gameId}, "de"));
        }
        return product;
    }

    // What the index keeps of a product comes back as it was written.
    static void expectIndexFieldsEqual(const ProductInfo& written, const ProductInfo& read) {
        EXPECT_EQ(written.getGameId(), read.getGameId());
        EXPECT_EQ(written.getManifestTimestamp(), read.getManifestTimestamp());
        EXPECT_EQ(written.getProductState(), read.getProductState());
        EXPECT_EQ(written.getLocalPath(), read.getLocalPath());
        EXPECT_EQ(written.getDownloadsPath(), read.getDownloadsPath());
        EXPECT_EQ(written.getSupportPath(), read.getSupportPath());
        EXPECT_EQ(written.getLanguage(), read.getLanguage());
        EXPECT_EQ(written.getRevisionList(), read.getRevisionList());
        ASSERT_EQ(written.getAvailableLanguages().size(), read.getAvailableLanguages().size());
        for (size_t i = 0; i < written.getAvailableLanguages().size(); ++i) {
            EXPECT_EQ(written.getAvailableLanguages()[i].asString(), read.getAvailableLanguages()[i].asString());
        }
        ASSERT_EQ(written.getAvailableGameIDs().size(), read.getAvailableGameIDs().size());
        for (size_t i = 0; i < written.getAvailableGameIDs().size(); ++i) {
            const AvailableGameIDInfo& expected = written.getAvailableGameIDs()[i];
            const AvailableGameIDInfo& actual = read.getAvailableGameIDs()[i];
            EXPECT_EQ(expected.gameId, actual.gameId);
            EXPECT_EQ(expected.standalone, actual.standalone);
            EXPECT_EQ(expected.dependencies, actual.dependencies);
            EXPECT_EQ(expected.names.getText(), actual.names.getText());
        }
        EXPECT_EQ(uint32_t(ProductInfo::IndexSection), read.getLoadedData());
    }
};

TEST_F(StorageIndexTest, FirstStartReadsNothingAndTheFirstWriteCreatesTheIndex) {
    StorageDBSerializer::Products products;
    EXPECT_FALSE(StorageDBSerializer::DeserializeIndex(products));
    EXPECT_TRUE(products.empty());
    EXPECT_FALSE(Poco::File(indexPath()).exists());

    ASSERT_TRUE(StorageDBSerializer::SerializeIndex({makeIndexedProduct("1207658924", false)}));
    EXPECT_EQ("2", QueryText(indexPath(), "SELECT version FROM DBInfo"));
    EXPECT_EQ(1, QueryCount(indexPath(), "SELECT COUNT(*) FROM Products"));

    // The version argument is ignored: the table always gets the current version.
    auto session = OpenSqlite(indexPath());
    StorageDBSerializer::StoreVersion(*session, 1);
    EXPECT_EQ(2, StorageDBSerializer::FetchVersion(*session));
}

TEST_F(StorageIndexTest, RoundTripKeepsEveryIndexedFieldAndThePendingTarget) {
    ProductInfo::Ptr withTarget = makeIndexedProduct("1207658924", true);
    ProductInfo::Ptr withoutTarget = makeIndexedProduct("1207658930", false);
    ASSERT_TRUE(StorageDBSerializer::SerializeIndex({withTarget, withoutTarget}));

    // Only a product with a target identification has "remote" rows.
    EXPECT_EQ(2, QueryCount(indexPath(), "SELECT COUNT(*) FROM SyncInfo WHERE gid='1207658924'"));
    EXPECT_EQ(1, QueryCount(indexPath(), "SELECT COUNT(*) FROM SyncInfo WHERE gid='1207658930'"));
    EXPECT_EQ(0, QueryCount(indexPath(), "SELECT COUNT(*) FROM Revisions WHERE gid='1207658930' AND "
                                         "endpoint<>'local'"));

    StorageDBSerializer::Products read;
    ASSERT_TRUE(StorageDBSerializer::DeserializeIndex(read));
    ASSERT_EQ(2u, read.size());
    expectIndexFieldsEqual(*withTarget, *read[0]);
    expectIndexFieldsEqual(*withoutTarget, *read[1]);
    ASSERT_FALSE(read[0]->getTargetIdentification().isNull());
    const ProductIdentification& target = *read[0]->getTargetIdentification();
    EXPECT_EQ("", target.gameId);
    EXPECT_EQ(0, target.manifestTimestamp);
    EXPECT_EQ(tRevisionList{"1207658924"}, target.revisions);
    EXPECT_EQ("de", target.language);
    EXPECT_TRUE(read[1]->getTargetIdentification().isNull());
}

TEST_F(StorageIndexTest, VersionOneIndexIsMigratedAndKeepsItsProducts) {
    {
        Poco::File(storagePath()).createDirectories();
        auto session = OpenSqlite(indexPath());
        StorageIndexSerializer_Version1 version1;
        version1.setSession(session.get());
        ASSERT_TRUE(version1.createIndex());
        ASSERT_TRUE(version1.serializeToIndex({makeIndexedProduct("1207658924", true)}));
        *session << "CREATE TABLE DBInfo( version UINT16);", Poco::Data::Keywords::now;
        *session << "INSERT INTO DBInfo( version) VALUES( 1);", Poco::Data::Keywords::now;
    }

    StorageDBSerializer::Products products;
    ASSERT_TRUE(StorageDBSerializer::DeserializeIndex(products));
    ASSERT_EQ(1u, products.size());
    expectIndexFieldsEqual(*makeIndexedProduct("1207658924", true), *products[0]);
    EXPECT_EQ("2", QueryText(indexPath(), "SELECT version FROM DBInfo"));
}

TEST_F(StorageIndexTest, IndexInAnUnreadableVersionIsRecreatedEmpty) {
    struct Case {
        const char* name;
        std::vector<std::string> damage;
    };
    const Case cases[] = {
        {"missing", {"DROP TABLE DBInfo"}},
        {"empty", {"DELETE FROM DBInfo"}},
        {"unknown version", {"UPDATE DBInfo SET version=3"}},
        {"two rows", {"INSERT INTO DBInfo( version) VALUES( 2)"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ASSERT_TRUE(StorageDBSerializer::SerializeIndex({makeIndexedProduct("1207658924", false)}));
        RunSql(indexPath(), test.damage);

        StorageDBSerializer::Products products;
        EXPECT_FALSE(StorageDBSerializer::DeserializeIndex(products));
        EXPECT_TRUE(products.empty());
        EXPECT_EQ(0, QueryCount(indexPath(), "SELECT COUNT(*) FROM Products"));
        EXPECT_EQ("2", QueryText(indexPath(), "SELECT version FROM DBInfo"));
    }
    RunSql(indexPath(), {"DROP TABLE DBInfo"});
    clearLog();
    StorageDBSerializer::Products products;
    EXPECT_FALSE(StorageDBSerializer::DeserializeIndex(products));
    EXPECT_TRUE(logged("[Error]: FetchVersion failed. SQLException: ")) << recentLog();
}

TEST_F(StorageIndexTest, UpdatingAProductWritesItIntoAnIndexMadeAnew) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"first start", [] {}},
        {"unknown version",
         [this] {
             ASSERT_TRUE(StorageDBSerializer::SerializeIndex({makeIndexedProduct("1207658930", false)}));
             RunSql(indexPath(), {"UPDATE DBInfo SET version=3"});
         }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Poco::File index(indexPath());
        if (index.exists()) index.remove();
        test.prepare();
        ProductInfo::Ptr product = makeIndexedProduct("1207658924", true);
        EXPECT_TRUE(StorageDBSerializer::UpdateProductInIndex(product.get()));

        StorageDBSerializer::Products products;
        ASSERT_TRUE(StorageDBSerializer::DeserializeIndex(products));
        ASSERT_EQ(1u, products.size());
        expectIndexFieldsEqual(*product, *products[0]);
    }
}

TEST_F(StorageIndexTest, IndexThatCannotBeReadIsLeftAsItIs) {
    ASSERT_TRUE(StorageDBSerializer::SerializeIndex({makeIndexedProduct("1207658924", false)}));
    ProductInfo::Ptr other = makeIndexedProduct("1207658930", false);
    StorageDBSerializer::Products read;
    struct Case {
        const char* operation;
        std::function<bool()> call;
    };
    const Case cases[] = {
        {"SerializeIndex", [&other] { return StorageDBSerializer::SerializeIndex({other}); }},
        {"DeserializeIndex", [&read] { return StorageDBSerializer::DeserializeIndex(read); }},
        {"UpdateProductInIndex", [&other] { return StorageDBSerializer::UpdateProductInIndex(other.get()); }},
        {"DeleteProductFromIndex", [] { return StorageDBSerializer::DeleteProductFromIndex("1207658924"); }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.operation);
        BreakSqliteReads(indexPath());
        clearLog();
        EXPECT_FALSE(test.call());
        EXPECT_TRUE(logged(std::string("[Error]: ") + test.operation + ": could not read the format of '" +
                           indexPath() + "'; the file is left as it is."))
            << recentLog();
        // Not even tried: every statement would have failed the same way here,
        // but a passing error would have let the recreation through.
        EXPECT_FALSE(logged("ProductInfo::deleteIndex failed")) << recentLog();
        RestoreSqliteReads(indexPath());

        StorageDBSerializer::Products products;
        ASSERT_TRUE(StorageDBSerializer::DeserializeIndex(products));
        ASSERT_EQ(1u, products.size());
        expectIndexFieldsEqual(*makeIndexedProduct("1207658924", false), *products[0]);
    }
}

TEST_F(StorageIndexTest, DamagedIndexIsMovedAsideAndANewOneTakesItsPlace) {
    ProductInfo::Ptr product = makeIndexedProduct("1207658924", true);
    StorageDBSerializer::Products read;
    struct Case {
        const char* operation;
        std::function<bool()> call;
        bool result;
    };
    const Case cases[] = {
        {"UpdateProductInIndex", [&product] { return StorageDBSerializer::UpdateProductInIndex(product.get()); },
         true},
        {"DeserializeIndex", [&read] { return StorageDBSerializer::DeserializeIndex(read); }, false},
    };
    for (const Case& test : cases) {
        for (const Damage& damage : FileDamages()) {
            SCOPED_TRACE(std::string(test.operation) + ", " + damage.name);
            // Each round's damaged copy replaces the one before.
            ASSERT_TRUE(StorageDBSerializer::SerializeIndex({makeIndexedProduct("1207658930", false)}));
            const std::string damaged = DamageFile(indexPath(), damage);
            clearLog();
            read.clear();
            EXPECT_EQ(test.result, test.call());
            expectMovedAside(test.operation, indexPath(), damaged);
            EXPECT_TRUE(read.empty());

            EXPECT_TRUE(StorageDBSerializer::UpdateProductInIndex(product.get()));
            StorageDBSerializer::Products products;
            ASSERT_TRUE(StorageDBSerializer::DeserializeIndex(products));
            ASSERT_EQ(1u, products.size());
            expectIndexFieldsEqual(*product, *products[0]);
        }
    }
}

TEST_F(StorageIndexTest, DeleteProductFromIndexRemovesOnlyAKnownGame) {
    ASSERT_TRUE(StorageDBSerializer::SerializeIndex(
        {makeIndexedProduct("1207658924", false), makeIndexedProduct("1207658930", false)}));

    EXPECT_FALSE(StorageDBSerializer::DeleteProductFromIndex("999"));
    EXPECT_TRUE(logged("[Information]: GameId 999 not found in index, cannot delete")) << recentLog();
    EXPECT_EQ(2, QueryCount(indexPath(), "SELECT COUNT(*) FROM Products"));

    EXPECT_TRUE(StorageDBSerializer::DeleteProductFromIndex("1207658924"));
    EXPECT_TRUE(logged("[Information]: GameId 1207658924 deleted from index")) << recentLog();
    StorageDBSerializer::Products products;
    ASSERT_TRUE(StorageDBSerializer::DeserializeIndex(products));
    ASSERT_EQ(1u, products.size());
    EXPECT_EQ("1207658930", products[0]->getGameId());
}

TEST_F(StorageIndexTest, RewriteThatFailsMidwayKeepsTheOldIndex) {
    ASSERT_TRUE(StorageDBSerializer::SerializeIndex(
        {makeIndexedProduct("1207658924", true), makeIndexedProduct("1207658930", false)}));

    // The empty reference makes the write throw after the tables were dropped,
    // recreated and the first product written.
    clearLog();
    EXPECT_FALSE(StorageDBSerializer::SerializeIndex({makeIndexedProduct("1207658999", false), nullptr}));
    EXPECT_TRUE(logged("[Error]: ProductInfo::commitIndex failed. Exception: ")) << recentLog();

    StorageDBSerializer::Products products;
    ASSERT_TRUE(StorageDBSerializer::DeserializeIndex(products));
    ASSERT_EQ(2u, products.size());
    expectIndexFieldsEqual(*makeIndexedProduct("1207658924", true), *products[0]);
    expectIndexFieldsEqual(*makeIndexedProduct("1207658930", false), *products[1]);
    EXPECT_EQ(0, QueryCount(indexPath(), "SELECT COUNT(*) FROM Products WHERE gid='1207658999'"));
    EXPECT_EQ("2", QueryText(indexPath(), "SELECT version FROM DBInfo"));
}

TEST_F(StorageIndexTest, UpdatingAProductReplacesItsRowsAndAnEmptyListEmptiesTheIndex) {
    ProductInfo::Ptr product = makeIndexedProduct("1207658924", true);
    ASSERT_TRUE(StorageDBSerializer::SerializeIndex({product}));
    product->setProductState(EProductState::Updating, false);
    product->setTargetIdentification(nullptr);
    product->getAvailableLanguages().clear();
    ASSERT_TRUE(StorageDBSerializer::UpdateProductInIndex(product.get()));

    EXPECT_EQ(1, QueryCount(indexPath(), "SELECT COUNT(*) FROM Products"));
    EXPECT_EQ(0, QueryCount(indexPath(), "SELECT COUNT(*) FROM AvailableLanguages"));
    EXPECT_EQ(0, QueryCount(indexPath(), "SELECT COUNT(*) FROM SyncInfo WHERE endpoint='remote'"));
    StorageDBSerializer::Products products;
    ASSERT_TRUE(StorageDBSerializer::DeserializeIndex(products));
    ASSERT_EQ(1u, products.size());
    EXPECT_EQ(EProductState::Updating, products[0]->getProductState());

    ASSERT_TRUE(StorageDBSerializer::SerializeIndex({}));
    for (const char* table : {"Products", "AvailableLanguages", "AvailableGameIDInfo", "AvailableGameIDNames",
                              "AvailableGameIDDependencies", "SyncInfo", "Revisions"}) {
        EXPECT_EQ(0, QueryCount(indexPath(), std::string("SELECT COUNT(*) FROM ") + table)) << table;
    }
}

}  // namespace
