#include <cstring>
#include <fstream>
#include <functional>
#include <memory>

#include <Poco/DirectoryIterator.h>
#include <Poco/File.h>
#include <Poco/Path.h>
#include <leveldb/env.h>

#include "StorageTestSupport.h"
#include "storage/DamagedDatabaseKeeper.h"

using namespace VantisClient;
using namespace StorageTestSupport;

namespace {

const char* const GAME_ID = "1207658924";

template <typename T>
T valueAt(const std::string& record, size_t offset) {
    T value;
    std::memcpy(&value, record.data() + offset, sizeof(T));
    return value;
}

std::string textAt(const std::string& record, size_t offset) { return std::string(record.c_str() + offset); }

std::string pathHashKey(const std::string& path) {
    uint64_t hash = FileInformation(FileType::Game, path).getPathHash();
    return std::string(reinterpret_cast<const char*>(&hash), sizeof(hash));
}

// Refuses every write to a file that carries `marker`, as a disk that gives out
// in the middle of a product's rewrite would; all else reaches the real files.
class FailingEnv : public leveldb::EnvWrapper {
public:
    explicit FailingEnv(std::string marker) : EnvWrapper(leveldb::Env::Default()), m_marker(std::move(marker)) {}

    leveldb::Status NewWritableFile(const std::string& name, leveldb::WritableFile** result) override {
        leveldb::Status status = target()->NewWritableFile(name, result);
        if (status.ok()) *result = new FailingFile(*result, m_marker);
        return status;
    }

private:
    class FailingFile : public leveldb::WritableFile {
    public:
        FailingFile(leveldb::WritableFile* file, const std::string& marker) : m_file(file), m_marker(marker) {}
        leveldb::Status Append(const leveldb::Slice& data) override {
            if (data.ToString().find(m_marker) != std::string::npos) return leveldb::Status::IOError("write refused");
            return m_file->Append(data);
        }
        leveldb::Status Close() override { return m_file->Close(); }
        leveldb::Status Flush() override { return m_file->Flush(); }
        leveldb::Status Sync() override { return m_file->Sync(); }

    private:
        std::unique_ptr<leveldb::WritableFile> m_file;
        std::string m_marker;
    };

    std::string m_marker;
};

class StorageDBSerializerVersion2Test : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
    }

    std::vector<std::pair<std::string, std::string>> records(Database database) {
        return ReadAll(databasePath(GAME_ID, database));
    }
};

TEST_F(StorageDBSerializerVersion2Test, EachKindOfRecordHasItsOwnDirectory) {
    const std::pair<Database, const char*> expected[] = {
        {Database::Directories, "7445457456008365310"},
        {Database::DownloadingFilesSmall, "4354606828152286047"},
        {Database::DownloadingFilesMedium, "7276894619026513845"},
        {Database::DownloadingFilesBig, "17009539477644352662"},
        {Database::InstalledFiles, "5780507908600934186"},
        {Database::InstalledSymLinks, "9515384975614945869"},
        {Database::Redistributables, "2643716305549761823"},
        {Database::Support, "7837546679344374138"},
    };
    for (const auto& entry : expected) {
        SCOPED_TRACE(StorageDBSerializer_Version2::DatabaseName(entry.first));
        EXPECT_TRUE(Poco::File(productDirectory(GAME_ID) + "/" + entry.second).isDirectory());
    }
}

TEST_F(StorageDBSerializerVersion2Test, RecordsHaveTheStoredLayout) {
    auto support = records(Database::Support);
    ASSERT_EQ(1u, support.size());
    EXPECT_EQ(256u, support[0].first.size());
    EXPECT_EQ("support/setup.sh", textAt(support[0].first, 0));
    ASSERT_EQ(545u, support[0].second.size());
    EXPECT_EQ(GAME_ID, textAt(support[0].second, 0));
    EXPECT_EQ("support/setup.sh", textAt(support[0].second, 33));
    EXPECT_EQ("--quiet", textAt(support[0].second, 289));

    auto redist = records(Database::Redistributables);
    ASSERT_EQ(1u, redist.size());
    ASSERT_EQ(513u, redist[0].second.size());
    EXPECT_EQ("-y", textAt(redist[0].second, 256));
    EXPECT_EQ(1, redist[0].second[512]);

    auto directories = records(Database::Directories);
    ASSERT_EQ(1u, directories.size());
    ASSERT_EQ(264u, directories[0].second.size());
    EXPECT_EQ("data", textAt(directories[0].second, 0));
    EXPECT_EQ(int32_t(DirInfo::Created), valueAt<int32_t>(directories[0].second, 256));

    auto downloading = records(Database::DownloadingFilesSmall);
    ASSERT_EQ(1u, downloading.size());
    EXPECT_EQ(pathHashKey("data/big.pak"), downloading[0].first);
    const std::string& small = downloading[0].second;
    ASSERT_EQ(336u, small.size());
    EXPECT_EQ("data/big.pak", textAt(small, 0));
    EXPECT_EQ(int32_t(DownloadingFileInfo::Downloading), valueAt<int32_t>(small, 256));
    EXPECT_EQ(uint64_t(0x49249249), valueAt<uint64_t>(small, 264));  // parts 0, 3, 6, ... of 40
    EXPECT_EQ(uint64_t(0x92), valueAt<uint64_t>(small, 272));
    EXPECT_EQ(uint64_t(40) * 1048576, valueAt<uint64_t>(small, 280));
    EXPECT_EQ(2, valueAt<uint16_t>(small, 288));
    EXPECT_EQ(990, valueAt<int32_t>(small, 292));

    auto installed = records(Database::InstalledFiles);
    ASSERT_EQ(1u, installed.size());
    EXPECT_EQ(pathHashKey("bin/game"), installed[0].first);
    const std::string& file = installed[0].second;
    ASSERT_EQ(568u, file.size());
    EXPECT_EQ("bin/game", textAt(file, 0));
    EXPECT_EQ(int32_t(InstalledFileInfo::Hashed), valueAt<int32_t>(file, 256));
    EXPECT_EQ(std::string(32, 'a'), textAt(file, 260));
    EXPECT_EQ(4096u, valueAt<uint64_t>(file, 296));
    EXPECT_EQ(990, valueAt<int32_t>(file, 304));
    EXPECT_EQ("/games/product/bin/game", textAt(file, 308));

    // The link type "directory" is kept as its first character.
    auto links = records(Database::InstalledSymLinks);
    ASSERT_EQ(1u, links.size());
    EXPECT_EQ(256u, links[0].first.size());
    ASSERT_EQ(513u, links[0].second.size());
    EXPECT_EQ("/games/product/lib/current", textAt(links[0].second, 0));
    EXPECT_EQ("/games/product/lib/v2", textAt(links[0].second, 256));
    EXPECT_EQ('d', links[0].second[512]);
}

// A damaged record of a file list stops only that list; one of the product's
// own records fails the whole read.
TEST_F(StorageDBSerializerVersion2Test, DamagedRecordsStopTheirListOrFailTheWholeRead) {
    std::string unterminatedPath = records(Database::DownloadingFilesSmall)[0].second;
    std::memset(&unterminatedPath[0], 'p', 256);
    std::string tooManyWords = records(Database::DownloadingFilesSmall)[0].second;
    uint16_t words = 3;
    std::memcpy(&tooManyWords[288], &words, sizeof(words));
    std::string unterminatedHash = records(Database::InstalledFiles)[0].second;
    std::memset(&unterminatedHash[260], 'h', 36);
    std::string unterminatedExecutable = records(Database::Support)[0].second;
    std::memset(&unterminatedExecutable[33], 's', 256);

    enum class Outcome { DownloadingListDropped, InstalledListDropped, ReadFails };
    struct Case {
        const char* name;
        Database database;
        std::string key;
        std::string value;
        std::vector<std::string> expectedLines;
        Outcome outcome;
    };
    const std::string downloadingLine =
        "Invalid struct size, when deserializing DownloadingFiles array. Aborting deserialization";
    const std::string installedLine =
        "Invalid size (568) of struct, when deserializing InstalledFiles. Aborting deserialization.";
    const std::string productLine = "Cannot deserialize ProductInfo for id '1207658924'. Stored data size is invalid.";
    const std::string zeroKey(8, '\0');
    const std::string productKey(1, '\0');
    const Case cases[] = {
        {"downloading: 337 bytes", Database::DownloadingFilesSmall, zeroKey, std::string(337, '\0'),
         {"Invalid struct size (337, should be 336), when trying to copy slice to the struct.", downloadingLine},
         Outcome::DownloadingListDropped},
        {"downloading: short key", Database::DownloadingFilesSmall, std::string(3, '\0'), std::string(336, '\0'),
         {"Invalid struct size (3, should be 8), when trying to copy slice to the struct.",
          "Invalid key size, when deserializing DownloadingFiles array. Aborting deserialization"},
         Outcome::DownloadingListDropped},
        {"downloading: path without its zero", Database::DownloadingFilesSmall, zeroKey, unterminatedPath,
         {"Text field 'path' has no terminating zero", downloadingLine}, Outcome::DownloadingListDropped},
        {"downloading: more words than room", Database::DownloadingFilesSmall, zeroKey, tooManyWords,
         {"Invalid bitmap word count (3, at most 2)", downloadingLine}, Outcome::DownloadingListDropped},
        {"installed: 500 bytes", Database::InstalledFiles, zeroKey, std::string(500, '\0'),
         {"Invalid struct size (500, should be 568)",
          "Invalid size (500) of struct, when deserializing InstalledFiles. Aborting deserialization."},
         Outcome::InstalledListDropped},
        {"installed: short key", Database::InstalledFiles, std::string(4, '\0'), std::string(568, '\0'),
         {"Invalid struct size (4, should be 8)",
          "Invalid key size (4) when deserializing InstalledFiles. Aboerting deserialization."},
         Outcome::InstalledListDropped},
        {"installed: hash without its zero", Database::InstalledFiles, zeroKey, unterminatedHash,
         {"Text field 'hash' has no terminating zero", installedLine}, Outcome::InstalledListDropped},
        {"redistributable: 10 bytes", Database::Redistributables, productKey, std::string(10, '\0'),
         {"Invalid struct size (10, should be 513)", productLine}, Outcome::ReadFails},
        {"support: 546 bytes", Database::Support, productKey, std::string(546, '\0'),
         {"Invalid struct size (546, should be 545)", productLine}, Outcome::ReadFails},
        {"support: executable without its zero", Database::Support, productKey, unterminatedExecutable,
         {"Text field 'executable' has no terminating zero", productLine}, Outcome::ReadFails},
        {"directory: 263 bytes", Database::Directories, productKey, std::string(263, '\0'),
         {"Invalid struct size (263, should be 264)", productLine}, Outcome::ReadFails},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
        // Zero keys sort before the intact record, so reading meets them first.
        PutRaw(databasePath(GAME_ID, test.database), test.key, test.value);
        clearLog();

        ProductInfo read;
        read.setGameId(GAME_ID);
        const bool readSucceeded = StorageDBSerializer::DeserializeProduct(GAME_ID, &read);
        for (const std::string& line : test.expectedLines) EXPECT_TRUE(logged("[Error]: " + line)) << recentLog();
        if (test.outcome == Outcome::ReadFails) {
            EXPECT_FALSE(readSucceeded);
            continue;
        }
        EXPECT_TRUE(readSucceeded);
        const bool downloadingDropped = test.outcome == Outcome::DownloadingListDropped;
        EXPECT_EQ(downloadingDropped ? 0u : 1u, read.getFiles().getDownloadingFiles().size());
        EXPECT_EQ(downloadingDropped ? 1u : 0u, read.getFiles().getInstalledFiles().size());
        EXPECT_EQ(1u, read.getDirectories().size());
        EXPECT_EQ(1u, read.getSupportCommands().size());
    }
}

// A database LevelDB finds damaged, when it opens it or reads it, would fail
// every later call on the product: it is set aside once, beside the new one,
// and the product starts anew.
TEST_F(StorageDBSerializerVersion2Test, GarbledDatabasesAreSetAsideOnceAndOpenedAnew) {
    const std::string installedFiles = databasePath(GAME_ID, Database::InstalledFiles);
    auto garble = [](const std::string& path, size_t fromEnd) {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(-static_cast<std::streamoff>(fromEnd), std::ios::end);
        file << std::string(fromEnd, 'g');
    };
    const struct {
        const char* name;
        std::function<void()> damage;
    } cases[] = {
        {"its CURRENT file garbled: it cannot be opened",
         [&] { std::ofstream(installedFiles + "/CURRENT", std::ios::trunc) << "garbled"; }},
        {"a table's end garbled: it opens but cannot be read",
         [&] {
             // Opening again moves the records from the log into a table.
             ProductInfo read;
             read.setGameId(GAME_ID);
             ASSERT_TRUE(StorageDBSerializer::DeserializeProduct(GAME_ID, &read));
             size_t tables = 0;
             for (Poco::DirectoryIterator it(installedFiles), end; it != end; ++it) {
                 if (Poco::Path(it.name()).getExtension() != "ldb") continue;
                 garble(it.path().toString(), 48);
                 ++tables;
             }
             ASSERT_GT(tables, 0u);
         }},
    };
    auto asideCopies = [this] {
        size_t copies = 0;
        for (Poco::DirectoryIterator it(storagePath()), end; it != end; ++it) {
            copies += it.name().rfind(std::string(GAME_ID) + DamagedDatabaseKeeper::ASIDE_MARK, 0) == 0 ? 1 : 0;
        }
        return copies;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
        c.damage();
        clearLog();

        ProductInfo read;
        read.setGameId(GAME_ID);
        StorageDBSerializer::DeserializeProduct(GAME_ID, &read);
        EXPECT_TRUE(read.getFiles().getInstalledFiles().empty());
        EXPECT_TRUE(logged("[Warning]: The database " + productDirectory(GAME_ID) + " is damaged")) << recentLog();
        EXPECT_FALSE(logged("Could not open DB")) << recentLog();
        // The next calls find the new databases sound.
        clearLog();
        ASSERT_TRUE(StorageDBSerializer::SerializeProduct(MakeFullProduct(GAME_ID).get()));
        ProductInfo again;
        again.setGameId(GAME_ID);
        EXPECT_TRUE(StorageDBSerializer::DeserializeProduct(GAME_ID, &again));
        EXPECT_FALSE(again.getFiles().getInstalledFiles().empty());
        EXPECT_FALSE(logged("damaged")) << recentLog();
        // Only the latest damaged copy stays.
        EXPECT_EQ(1u, asideCopies());
    }
}

TEST_F(StorageDBSerializerVersion2Test, RewriteCutShortLeavesEveryDatabaseWithItsOldOrItsNewRecords) {
    ProductInfo::Ptr rewritten = MakeFullProduct(GAME_ID);
    rewritten->getSupportCommands()[0].argument = "--new";
    rewritten->getFiles().addInstalledFileInfo(MakeInstalledFile("bin/game", std::string(32, 'f')));
    rewritten->getFiles().addInstalledFileInfo(MakeInstalledFile("bin/new"));
    rewritten->getFiles().addInstalledFileInfo(MakeInstalledFile("poison/file"));
    rewritten->getDirectories().emplace_back(new RemoteDirDefinition(false, "saves"), DirInfo::Created);
    FailingEnv env("poison/");
    StorageDBSerializer_Version2 serializer(&env);
    ASSERT_TRUE(serializer.openDB(GAME_ID));
    clearLog();
    EXPECT_FALSE(serializer.serializeToDB(rewritten.get()));
    serializer.closeDB(GAME_ID);
    EXPECT_TRUE(logged("[Error]: Could not write InstalledFiles db, error=IO error: write refused")) << recentLog();

    ProductInfo read;
    read.setGameId(GAME_ID);
    ASSERT_TRUE(StorageDBSerializer::DeserializeProduct(GAME_ID, &read));
    // Written before the failure: the new records.
    ASSERT_EQ(1u, read.getSupportCommands().size());
    EXPECT_EQ("--new", read.getSupportCommands()[0].argument);
    // The database whose write failed and those after it: every old record and no new one.
    ASSERT_EQ(1u, read.getFiles().getInstalledFiles().size());
    EXPECT_EQ(std::string(32, 'a'), read.getFiles().getInstalledFiles()["bin/game"]->getFileInfo().getHash());
    ASSERT_EQ(1u, read.getDirectories().size());
    EXPECT_EQ("data", read.getDirectories()[0].definition->getPath());
}

TEST_F(StorageDBSerializerVersion2Test, DeleteDBRemovesTheProductsDirectory) {
    StorageDBSerializer_Version2 serializer;
    ASSERT_TRUE(serializer.openDB(GAME_ID));
    EXPECT_TRUE(serializer.deleteDB(GAME_ID));
    EXPECT_FALSE(Poco::File(productDirectory(GAME_ID)).exists());
    EXPECT_TRUE(Poco::File(storagePath()).exists());
    // Writing needs open databases: a closed serializer opens them itself.
    ProductInfo::Ptr product = MakeFullProduct(GAME_ID);
    EXPECT_TRUE(serializer.serializeToDB(product.get()));
    serializer.closeDB(GAME_ID);
    EXPECT_EQ(1u, records(Database::InstalledFiles).size());
}

}  // namespace
