#include "StorageTestSupport.h"

#include <filesystem>
#include <fstream>

#include <Poco/Data/RecordSet.h>
#include <Poco/Data/Statement.h>
#include <Poco/File.h>

namespace StorageTestSupport {

using namespace VantisClient;
using Poco::Data::Keywords::now;

void RunSql(const std::string& path, const std::vector<std::string>& statements) {
    auto session = OpenSqlite(path);
    for (const std::string& statement : statements) *session << statement, now;
}

std::string QueryText(const std::string& path, const std::string& query) {
    auto session = OpenSqlite(path);
    Poco::Data::Statement select(*session);
    select << query, now;
    Poco::Data::RecordSet records(select);
    if (records.rowCount() == 0) return "";
    return records.value(0, 0).convert<std::string>();
}

int QueryCount(const std::string& path, const std::string& query) { return std::stoi(QueryText(path, query)); }

std::vector<std::pair<std::string, std::string>> ReadAll(const std::string& databasePath) {
    leveldb::DB* opened = nullptr;
    leveldb::Options options;
    EXPECT_TRUE(leveldb::DB::Open(options, databasePath, &opened).ok()) << databasePath;
    std::unique_ptr<leveldb::DB> database(opened);
    std::vector<std::pair<std::string, std::string>> records;
    if (!database) return records;
    std::unique_ptr<leveldb::Iterator> iterator(database->NewIterator(leveldb::ReadOptions()));
    for (iterator->SeekToFirst(); iterator->Valid(); iterator->Next()) {
        records.emplace_back(iterator->key().ToString(), iterator->value().ToString());
    }
    return records;
}

void PutRaw(const std::string& databasePath, const std::string& key, const std::string& value) {
    leveldb::DB* opened = nullptr;
    leveldb::Options options;
    options.create_if_missing = true;
    ASSERT_TRUE(leveldb::DB::Open(options, databasePath, &opened).ok()) << databasePath;
    std::unique_ptr<leveldb::DB> database(opened);
    ASSERT_TRUE(database->Put(leveldb::WriteOptions(), key, value).ok());
}

bool CanOpen(const std::string& databasePath) {
    leveldb::DB* opened = nullptr;
    leveldb::Status status = leveldb::DB::Open(leveldb::Options(), databasePath, &opened);
    delete opened;
    return status.ok();
}

void BreakSqliteReads(const std::string& path) { Poco::File(path + "-journal").createDirectories(); }

void RestoreSqliteReads(const std::string& path) { Poco::File(path + "-journal").remove(true); }

const std::vector<Damage>& FileDamages() {
    static const std::vector<Damage> damages = {
        {"garbage bytes", [](const std::string& valid, size_t) { return std::string(valid.size(), 'Z'); }},
        {"truncated to its first page", [](const std::string& valid, size_t page) { return valid.substr(0, page); }},
        {"first page followed by garbage",
         [](const std::string& valid, size_t page) {
             return valid.substr(0, page) + std::string(valid.size() - page, 'Z');
         }},
    };
    return damages;
}

std::string DamageFile(const std::string& path, const Damage& damage) {
    const size_t pageSize = std::stoul(QueryText(path, "PRAGMA page_size"));
    const std::string valid = VantisTest::ReadWholeFile(path);
    EXPECT_LT(pageSize, valid.size()) << path;
    const std::string damaged = damage.apply(valid, pageSize);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
    return damaged;
}

bool OpenInThisProcess(const std::string& path) {
    std::error_code error;
    const std::filesystem::path file = std::filesystem::canonical(path, error);
    if (error) return false;
    for (const auto& descriptor : std::filesystem::directory_iterator("/proc/self/fd")) {
        // The iterator's own descriptor is gone by the time it is looked at.
        if (std::filesystem::read_symlink(descriptor.path(), error) == file) return true;
    }
    return false;
}

void StorageTest::expectMovedAside(const std::string& operation, const std::string& path,
                                   const std::string& damaged) {
    const std::string aside = path + ".damaged";
    EXPECT_TRUE(VantisTest::ReadWholeFile(aside) == damaged) << aside;
    EXPECT_FALSE(OpenInThisProcess(aside));
    EXPECT_TRUE(logged("[Error]: " + operation + ": '" + path + "' is damaged; it was moved to '" + aside +
                       "' and a new file takes its place."))
        << recentLog();
}

DownloadingFileInfo::Ptr MakeDownloadingFile(const std::string& path, uint16_t parts) {
    DownloadingFileInfo::Ptr file =
        new DownloadingFileInfo(FileType::Game, path, DownloadingFileInfo::Downloading, "/downloads/" + path);
    file->getFileInfo().setSize(uint64_t(parts) * 1048576);
    file->getParts().setPartInfo(parts);
    file->getDownloadingParts().setPartInfo(parts);
    for (uint16_t index = 0; index < parts; index += 3) file->getParts().markPart(index);
    return file;
}

InstalledFileInfo::Ptr MakeInstalledFile(const std::string& path, const std::string& hash) {
    InstalledFileInfo::Ptr file =
        new InstalledFileInfo(FileType::Game, path, InstalledFileInfo::Hashed, "/games/product/" + path);
    file->getFileInfo().setHash(hash.empty() ? std::string(32, 'a') : hash);
    file->getFileInfo().setSize(4096);
    return file;
}

ProductInfo::Ptr MakeFullProduct(const std::string& gameId) {
    ProductInfo::Ptr product = new ProductInfo;
    product->setGameId(gameId);
    product->setDownloadsPath("/downloads");
    product->getSupportCommands().emplace_back(gameId, "support/setup.sh", "--quiet");
    product->getRedistributables().emplace_back("__redist/r1/install.sh", "-y", true);
    product->getDirectories().emplace_back(new RemoteDirDefinition(false, "data"), DirInfo::Created);
    product->getFiles().addDownloadingFileInfo(MakeDownloadingFile("data/big.pak", 40));
    product->getFiles().addInstalledFileInfo(MakeInstalledFile("bin/game"));
    product->getSymLinks().addInstalledSymLinkInfo(
        new InstalledSymLinkInfo("/games/product/lib/current", "/games/product/lib/v2", "directory"));
    return product;
}

}  // namespace StorageTestSupport
