// Format version 2 of a product's database, the current one: the product's
// lists in eight LevelDB databases under the product's directory, one per kind
// of record, each record a fixed-size binary structure under a fixed-size key.
// At most one product's databases are open at a time. A record whose text does
// not fit its field is not written and the reason is logged: a file update
// then fails, a product rewrite leaves the record out and goes on. A product
// rewrite replaces each database's records in one write, so that a database
// holds either its old records or its new ones, whenever the writing stops.
// Reading checks every stored key and value before it uses them, so a damaged
// or foreign database gives error lines and false, never a read past its data.
// A product whose databases LevelDB finds damaged when it opens or reads them
// is set aside once (DamagedDatabaseKeeper) and opened anew, empty.
// Thread-safety: none; the facade never lets two calls overlap.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <leveldb/options.h>
#include <leveldb/status.h>

#include "storage/IStorageDBSerializer.h"

namespace leveldb {
class DB;
class Env;
}  // namespace leveldb

namespace VantisClient {

class StorageDBSerializer_Version2 : public IStorageDBSerializer {
public:
    // The databases in registration order, by name; their directory is the
    // decimal Hash64bit of the name.
    enum Database {
        Directories,
        DownloadingFilesSmall,
        DownloadingFilesMedium,
        DownloadingFilesBig,
        InstalledFiles,
        InstalledSymLinks,
        Redistributables,
        Support,
        DatabaseCount
    };
    static const char* DatabaseName(Database database);
    static uint64_t DatabaseIdentifier(Database database);
    // The storage directory joined with the game id.
    static std::string GetProductDirectory(const std::string& gameId);

    // `env` is how LevelDB reaches the file system, its default one when null;
    // tests pass one that fails on demand. Not owned: it must outlive the serializer.
    explicit StorageDBSerializer_Version2(leveldb::Env* env = nullptr);
    ~StorageDBSerializer_Version2() override;

    bool openDB(const std::string& gameId) override;
    bool closeDB(const std::string& gameId) override;
    bool deleteDB(const std::string& gameId) override;
    bool createDB(const std::string& gameId) override;
    // Appends to the product's lists, each in key order.
    bool deserializeFromDB(ProductInfo* product) override;
    bool serializeToDB(ProductInfo* product) override;
    bool serializeSingleFileToDB(const InstalledFileInfo::Ptr& file) override;
    bool serializeSingleFileToDB(const DownloadingFileInfo::Ptr& file) override;
    bool serializeFilesToDB(const std::vector<InstalledFileInfo::Ptr>& files) override;
    bool serializeFilesToDB(const std::vector<DownloadingFileInfo::Ptr>& files) override;
    bool updateFileInDB(const InstalledFileInfo::Ptr& file) override;
    bool updateFileInDB(const DownloadingFileInfo::Ptr& file) override;
    bool updateFileInDB(const InstalledSymLinkInfo::Ptr& link) override;
    bool deserializeDownloadingFiles(ProductInfo* product) override;
    bool deserializeInstalledFiles(ProductInfo* product) override;

private:
    leveldb::DB& database(Database database);
    // Opens those of the product's databases not open yet; the first failure.
    leveldb::Status openDatabases(const std::string& gameId);
    // Sets the product's damaged databases aside and opens new ones in their place.
    leveldb::Status replaceDamaged(const std::string& gameId, const leveldb::Status& damage);
    enum class WriteResult { Written, DeleteFailed, PutFailed };
    // Delete, then put.
    WriteResult writeRecord(Database database, const std::string& key, const std::string& record);
    // Replaces all records of `databases` with those `build` makes of `items`,
    // one write per database in the order given.
    template <typename Items, typename Build>
    bool rewrite(std::initializer_list<Database> databases, const Items& items, Build build);

    bool readRedistributables(ProductInfo& product);
    bool readSupportCommands(ProductInfo& product);
    bool readDirectories(ProductInfo& product);
    bool readSymLinks(ProductInfo& product);
    bool readDownloadingFiles(Database database, ProductInfo& product);

    std::map<uint64_t, std::unique_ptr<leveldb::DB>> m_databases;
    leveldb::Options m_options;
    leveldb::WriteOptions m_writeOptions;
    bool m_open = false;
    // How the last read of a database failed, if it did.
    leveldb::Status m_readFailure;
};

}  // namespace VantisClient
