#include "storage/StorageDBSerializer_Version2.h"


#include <leveldb/db.h>
#include <leveldb/iterator.h>
#include <leveldb/write_batch.h>

#include "common/Logger.h"
#include "common/ScopeTimer.h"
#include "common/Utilities.h"
#include "model/ProductInfo.h"
#include "storage/DamagedDatabaseKeeper.h"
#include "storage/ProductRecordCodec.h"
#include "storage/StorageDBSerializer.h"

namespace VantisClient {

namespace {

using StoredRecord = ProductRecordCodec::StoredRecord;

const char* const DATABASE_NAMES[] = {
    "Directories",    "DownloadingFilesSmall", "DownloadingFilesMedium", "DownloadingFilesBig",
    "InstalledFiles", "InstalledSymLinks",     "Redistributables",       "Support",
};

// A builder of the records of map entries whose value points at the file.
template <typename Build>
auto ofEntry(Build build) {
    return [build](const auto& entry, StoredRecord& stored) { return build(*entry.second, stored); };
}

// Calls `read(key, value)` for every record in key order while it returns true.
// A database that cannot be read leaves its status in `failure`, when given.
template <typename Read>
bool forEachRecord(leveldb::DB& database, Read read, leveldb::Status* failure = nullptr) {
    std::unique_ptr<leveldb::Iterator> iterator(database.NewIterator(leveldb::ReadOptions()));
    for (iterator->SeekToFirst(); iterator->Valid(); iterator->Next()) {
        if (!read(iterator->key(), iterator->value())) return false;
    }
    if (iterator->status().ok()) return true;
    Logger::LogError("Could not read DB, error=%s.", iterator->status().ToString().c_str());
    if (failure != nullptr) *failure = iterator->status();
    return false;
}

bool logUndeserializableProduct(const ProductInfo& product) {
    Logger::LogError("Cannot deserialize ProductInfo for id '%s'. Stored data size is invalid.",
                     product.getGameId().c_str());
    return false;
}

}  // namespace

const char* StorageDBSerializer_Version2::DatabaseName(Database database) { return DATABASE_NAMES[database]; }

uint64_t StorageDBSerializer_Version2::DatabaseIdentifier(Database database) {
    static const std::vector<uint64_t> identifiers = [] {
        std::vector<uint64_t> all;
        for (const char* name : DATABASE_NAMES) all.push_back(Utilities::Hash64bit(name));
        return all;
    }();
    return identifiers[database];
}

std::string StorageDBSerializer_Version2::GetProductDirectory(const std::string& gameId) {
    return StorageDBSerializer::getProductDirectory(gameId);
}

StorageDBSerializer_Version2::StorageDBSerializer_Version2(leveldb::Env* env) {
    if (env != nullptr) m_options.env = env;
    m_options.create_if_missing = true;
    m_writeOptions.sync = false;
}

StorageDBSerializer_Version2::~StorageDBSerializer_Version2() = default;

leveldb::DB& StorageDBSerializer_Version2::database(Database which) {
    return *m_databases.at(DatabaseIdentifier(which));
}

bool StorageDBSerializer_Version2::openDB(const std::string& gameId) {
    if (!StorageDBSerializer::IsStorableGameId(gameId)) return false;
    leveldb::Status status = openDatabases(gameId);
    // A damaged database does not mend itself: left in place, every later call
    // would fail on it again. The product's records are rebuilt from the index
    // and the install directory, as for a product without a database.
    if (status.IsCorruption()) status = replaceDamaged(gameId, status);
    if (!status.ok()) {
        Logger::LogError("Could not open DB, error=%s.", status.ToString().c_str());
        return false;
    }
    m_open = true;
    return true;
}

leveldb::Status StorageDBSerializer_Version2::replaceDamaged(const std::string& gameId,
                                                            const leveldb::Status& damage) {
    closeDB(gameId);
    if (!DamagedDatabaseKeeper::SetAside(GetProductDirectory(gameId), damage.ToString())) return damage;
    leveldb::Status status = openDatabases(gameId);
    m_open = status.ok();
    return status;
}

leveldb::Status StorageDBSerializer_Version2::openDatabases(const std::string& gameId) {
    std::string productDirectory = GetProductDirectory(gameId);
    // A product stored in an older format has no directory yet; LevelDB only
    // creates the last level of a path.
    Utilities::CreateDirectory(productDirectory);
    m_options.create_if_missing = true;
    for (int which = 0; which < DatabaseCount; ++which) {
        uint64_t identifier = DatabaseIdentifier(static_cast<Database>(which));
        if (m_databases.count(identifier) != 0) continue;
        leveldb::DB* opened = nullptr;
        leveldb::Status status =
            leveldb::DB::Open(m_options, productDirectory + "/" + std::to_string(identifier), &opened);
        if (!status.ok()) return status;
        m_databases[identifier].reset(opened);
    }
    return leveldb::Status::OK();
}

bool StorageDBSerializer_Version2::closeDB(const std::string&) {
    m_databases.clear();
    m_open = false;
    return true;
}

bool StorageDBSerializer_Version2::createDB(const std::string& gameId) {
    if (!StorageDBSerializer::IsStorableGameId(gameId)) return false;
    Utilities::CreateDirectory(GetProductDirectory(gameId));
    return m_open || openDB(gameId);
}

bool StorageDBSerializer_Version2::deleteDB(const std::string& gameId) {
    if (m_open && !closeDB(gameId)) {
        Logger::LogError("Could not close storageDB for product '%s'.", gameId.c_str());
        return false;
    }
    // The directory is removed with everything in it: never let a game id name
    // the storage directory itself or anything outside it.
    if (!StorageDBSerializer::IsStorableGameId(gameId)) return false;
    return Utilities::DeleteFileOrDirectory(GetProductDirectory(gameId));
}

StorageDBSerializer_Version2::WriteResult StorageDBSerializer_Version2::writeRecord(Database which,
                                                                                   const std::string& key,
                                                                                   const std::string& record) {
    leveldb::DB& db = database(which);
    if (!db.Delete(m_writeOptions, key).ok()) return WriteResult::DeleteFailed;
    if (!db.Put(m_writeOptions, key, record).ok()) return WriteResult::PutFailed;
    return WriteResult::Written;
}

// One batch per database: a rewrite cut short, by a failed write or the end of
// the process, leaves each database with all its old records or all its new
// ones, never emptied. An item that does not fit is logged and left out; only a
// database that cannot be read or written fails the rewrite, and then the
// databases after it keep their old records.
template <typename Items, typename Build>
bool StorageDBSerializer_Version2::rewrite(std::initializer_list<Database> databases, const Items& items,
                                           Build build) {
    std::map<Database, leveldb::WriteBatch> batches;
    for (Database which : databases) {
        leveldb::WriteBatch& batch = batches[which];
        auto deleteRecord = [&batch](const leveldb::Slice& key, const leveldb::Slice&) {
            batch.Delete(key);
            return true;
        };
        if (!forEachRecord(database(which), deleteRecord)) return false;
    }
    for (const auto& item : items) {
        StoredRecord stored;
        if (build(item, stored)) batches.at(stored.database).Put(stored.key, stored.bytes);
    }
    for (Database which : databases) {
        leveldb::Status status = database(which).Write(m_writeOptions, &batches.at(which));
        if (!status.ok()) {
            Logger::LogError("Could not write %s db, error=%s. It keeps its previous records.", DatabaseName(which),
                             status.ToString().c_str());
            return false;
        }
    }
    return true;
}

bool StorageDBSerializer_Version2::serializeToDB(ProductInfo* product) {
    const std::string& gameId = product->getGameId();
    if (!m_open && !openDB(gameId)) {
        Logger::LogError("Database for product '%s' could not be opened. Aborting serialization.", gameId.c_str());
        return false;
    }
    ScopeTimer timer("Inserting " + gameId + " into DB");
    if (!rewrite({Support}, product->getSupportCommands(), ProductRecordCodec::EncodeSupport) ||
        !rewrite({Redistributables}, product->getRedistributables(), ProductRecordCodec::EncodeRedist)) {
        return false;
    }
    {
        ScopeTimer filesTimer("Inserting downloading files for " + gameId + " into DB");
        bool written = rewrite({DownloadingFilesBig, DownloadingFilesMedium, DownloadingFilesSmall},
                               product->getFiles().getDownloadingFiles(), ofEntry(ProductRecordCodec::EncodeDownloading));
        if (!written) return false;
    }
    {
        ScopeTimer linksTimer("Inserting installed symbolic links for " + gameId + " into DB");
        bool written =
            rewrite({InstalledSymLinks}, product->getSymLinks().getInstalledSymLinks(), ofEntry(ProductRecordCodec::EncodeSymLink));
        if (!written) return false;
    }
    {
        ScopeTimer filesTimer("Inserting installed files for " + gameId + "into DB");
        bool written = rewrite({InstalledFiles}, product->getFiles().getInstalledFiles(), ofEntry(ProductRecordCodec::EncodeInstalled));
        if (!written) return false;
    }
    return rewrite({Directories}, product->getDirectories(), ProductRecordCodec::EncodeDirectory);
}

bool StorageDBSerializer_Version2::updateFileInDB(const DownloadingFileInfo::Ptr& file) {
    if (!m_open) return false;
    StoredRecord stored;
    bool fits = ProductRecordCodec::EncodeDownloading(*file, stored);
    // A file whose bitmap changed size would otherwise leave its old record in
    // another database, and that one could be read back first; a file that is
    // not stored keeps no older record at all.
    for (Database which : ProductRecordCodec::DOWNLOADING_DATABASES) {
        if (!fits || which != stored.database) database(which).Delete(m_writeOptions, stored.key);
    }
    if (fits) writeRecord(stored.database, stored.key, stored.bytes);
    return fits;
}

bool StorageDBSerializer_Version2::updateFileInDB(const InstalledFileInfo::Ptr& file) {
    if (!m_open) return false;
    StoredRecord stored;
    if (!ProductRecordCodec::EncodeInstalled(*file, stored)) {
        // An older record under this path would describe a file that is no
        // longer what is on disk.
        database(InstalledFiles).Delete(m_writeOptions, stored.key);
        return false;
    }
    int keyAsNumber = static_cast<int32_t>(file->getFileInfo().getPathHash());
    const char* path = file->getFileInfo().getPath().c_str();
    switch (writeRecord(InstalledFiles, stored.key, stored.bytes)) {
        case WriteResult::DeleteFailed:
            Logger::LogWarning("Could not delete key while updating file in DB. GameId = %d, file path = %s",
                               keyAsNumber, path);
            break;
        case WriteResult::PutFailed:
            Logger::LogWarning("Could not put key while updating file in DB. GameId = %d, file path = %s",
                               keyAsNumber, path);
            break;
        case WriteResult::Written: break;
    }
    return true;
}

bool StorageDBSerializer_Version2::updateFileInDB(const InstalledSymLinkInfo::Ptr& link) {
    if (!m_open) return false;
    StoredRecord stored;
    if (!ProductRecordCodec::EncodeSymLink(*link, stored)) return false;
    writeRecord(InstalledSymLinks, stored.key, stored.bytes);
    return true;
}

bool StorageDBSerializer_Version2::serializeSingleFileToDB(const InstalledFileInfo::Ptr& file) {
    ScopeTimer timer("Updating installed file in DB");
    if (!m_open) {
        Logger::LogWarning("DB is closed, but it should not be. (serializeSingleFileToDB(InstalledFileInfo::Ptr)).");
        return true;
    }
    return updateFileInDB(file);
}

bool StorageDBSerializer_Version2::serializeSingleFileToDB(const DownloadingFileInfo::Ptr& file) {
    ScopeTimer timer("Updating downloading file in DB");
    if (!m_open) {
        Logger::LogWarning("DB is closed, but it should not be. serializeSingleFileToDB(DownloadingFileInfo::Ptr)).");
        return true;
    }
    return updateFileInDB(file);
}

bool StorageDBSerializer_Version2::serializeFilesToDB(const std::vector<InstalledFileInfo::Ptr>& files) {
    ScopeTimer timer("Updating installed files in DB");
    if (!m_open) {
        Logger::LogWarning("DB is closed, but it should not be. serializeFilesToDB(vector<InstalledFileInfo::Ptr>).");
        return true;
    }
    bool allStored = true;
    for (const InstalledFileInfo::Ptr& file : files) allStored = updateFileInDB(file) && allStored;
    return allStored;
}

bool StorageDBSerializer_Version2::serializeFilesToDB(const std::vector<DownloadingFileInfo::Ptr>& files) {
    ScopeTimer timer("Updating downloading files in DB");
    if (!m_open) {
        Logger::LogWarning(
            "DB is closed, but it should not be. serializeFilesToDB(vector<DownloadingFileInfo::Ptr>).");
        return true;
    }
    bool allStored = true;
    for (const DownloadingFileInfo::Ptr& file : files) allStored = updateFileInDB(file) && allStored;
    return allStored;
}

bool StorageDBSerializer_Version2::deserializeFromDB(ProductInfo* product) {
    if (!m_open && !openDB(product->getGameId())) {
        Logger::LogError("Database for product '%s' could not be opened. Aborting deserialization.",
                         product->getGameId().c_str());
        return false;
    }
    ScopeTimer timer("Fetching product from DB");
    m_readFailure = leveldb::Status::OK();
    bool read = readRedistributables(*product) && readSupportCommands(*product);
    if (read) {
        deserializeDownloadingFiles(product);
        deserializeInstalledFiles(product);
        // The links are read back too: an update removes those the game no
        // longer lists, an uninstall all of them.
        read = readDirectories(*product) && readSymLinks(*product);
    }
    // As for one that cannot be opened: set aside, and the product starts anew.
    if (m_readFailure.IsCorruption()) {
        replaceDamaged(product->getGameId(), m_readFailure);
        return false;
    }
    if (!read) return false;
    product->markSection(ProductInfo::ProductDBSection);
    return true;
}

bool StorageDBSerializer_Version2::readRedistributables(ProductInfo& product) {
    return forEachRecord(database(Redistributables), [&product](const leveldb::Slice&, const leveldb::Slice& value) {
        return ProductRecordCodec::AppendRedist(value, product) || logUndeserializableProduct(product);
    }, &m_readFailure);
}

bool StorageDBSerializer_Version2::readSupportCommands(ProductInfo& product) {
    return forEachRecord(database(Support), [&product](const leveldb::Slice&, const leveldb::Slice& value) {
        return ProductRecordCodec::AppendSupport(value, product) || logUndeserializableProduct(product);
    }, &m_readFailure);
}

bool StorageDBSerializer_Version2::readDirectories(ProductInfo& product) {
    return forEachRecord(database(Directories), [&product](const leveldb::Slice&, const leveldb::Slice& value) {
        return ProductRecordCodec::AppendDirectory(value, product) || logUndeserializableProduct(product);
    }, &m_readFailure);
}

bool StorageDBSerializer_Version2::readSymLinks(ProductInfo& product) {
    return forEachRecord(database(InstalledSymLinks), [&product](const leveldb::Slice&, const leveldb::Slice& value) {
        return ProductRecordCodec::AppendSymLink(value, product) || logUndeserializableProduct(product);
    }, &m_readFailure);
}

bool StorageDBSerializer_Version2::deserializeDownloadingFiles(ProductInfo* product) {
    if (!m_open) return false;
    for (Database which : ProductRecordCodec::DOWNLOADING_DATABASES) {
        if (!readDownloadingFiles(which, *product)) return false;
    }
    return true;
}

bool StorageDBSerializer_Version2::readDownloadingFiles(Database which, ProductInfo& product) {
    return forEachRecord(database(which), [which, &product](const leveldb::Slice& key, const leveldb::Slice& value) {
        return ProductRecordCodec::AppendDownloading(which, key, value, product);
    }, &m_readFailure);
}

bool StorageDBSerializer_Version2::deserializeInstalledFiles(ProductInfo* product) {
    if (!m_open) return false;
    return forEachRecord(database(InstalledFiles), [product](const leveldb::Slice& key, const leveldb::Slice& value) {
        return ProductRecordCodec::AppendInstalled(key, value, *product);
    }, &m_readFailure);
}

}  // namespace VantisClient
