#include "storage/StorageDBSerializer_Version2.h"

#include <algorithm>

#include <leveldb/db.h>
#include <leveldb/iterator.h>
#include <leveldb/write_batch.h>

#include "common/Logger.h"
#include "common/ScopeTimer.h"
#include "common/UserPreferences.h"
#include "common/Utilities.h"
#include "model/ProductInfo.h"
#include "storage/DamagedDatabaseKeeper.h"
#include "storage/FixedSizeRecord.h"
#include "storage/StorageDBSerializer.h"

namespace VantisClient {

namespace {

const char* const DATABASE_NAMES[] = {
    "Directories",    "DownloadingFilesSmall", "DownloadingFilesMedium", "DownloadingFilesBig",
    "InstalledFiles", "InstalledSymLinks",     "Redistributables",       "Support",
};

const size_t PATH_HASH_KEY_SIZE = sizeof(uint64_t);

namespace SupportRecord {
const size_t SIZE = 545;
const TextField GAME_ID{"game id", 0, 33, 32};
const TextField EXECUTABLE{"executable", 33, 256, 255};
const TextField ARGUMENT{"argument", 289, 256, 255};
}  // namespace SupportRecord

namespace RedistRecord {
const size_t SIZE = 513;
const TextField EXECUTABLE{"executable", 0, 256, 255};
const TextField ARGUMENT{"argument", 256, 256, 255};
const size_t EXECUTED = 512;
}  // namespace RedistRecord

namespace DirectoryRecord {
const size_t SIZE = 264;
const TextField PATH{"path", 0, 256, 255};
const size_t STATE = 256;
const size_t SUPPORT = 260;
}  // namespace DirectoryRecord

namespace InstalledRecord {
const size_t SIZE = 568;
const TextField PATH{"path", 0, 256, 255};
const size_t STATE = 256;
const TextField HASH{"hash", 260, 36, 32};
const size_t FILE_SIZE = 296;
const size_t FILE_TYPE = 304;
const TextField FULL_PATH{"full path", 308, 256, 255};
}  // namespace InstalledRecord

namespace SymLinkRecord {
const size_t SIZE = 513;
const TextField FULL_PATH{"full path", 0, 256, 255};
const TextField FULL_TARGET_PATH{"full target path", 256, 256, 255};
const size_t TYPE = 512;
}  // namespace SymLinkRecord

// The three downloading-file databases differ only in the room for bitmap words.
struct DownloadingRecord {
    static const size_t WORDS = 264;
    static const size_t STATE = 256;
    // The most words a bitmap of at most 65535 parts has.
    static const uint16_t MAX_BITMAP_WORDS = 65535 / 32 + 1;

    explicit DownloadingRecord(size_t slots_) : slots(slots_) {}
    size_t size() const { return 320 + 8 * slots; }
    size_t fileSizeOffset() const { return 264 + 8 * slots; }
    size_t wordCountOffset() const { return 272 + 8 * slots; }
    size_t fileTypeOffset() const { return 276 + 8 * slots; }
    TextField hash() const { return {"hash", 280 + 8 * slots, 40, 32}; }

    size_t slots;
};
const TextField DOWNLOADING_PATH{"path", 0, 256, 255};

DownloadingRecord downloadingRecordOf(StorageDBSerializer_Version2::Database database) {
    switch (database) {
        case StorageDBSerializer_Version2::DownloadingFilesSmall: return DownloadingRecord(2);
        case StorageDBSerializer_Version2::DownloadingFilesMedium: return DownloadingRecord(10);
        default: return DownloadingRecord(10000);
    }
}

// Where a bitmap of `wordCount` words is kept; DatabaseCount when it fits none.
StorageDBSerializer_Version2::Database downloadingDatabaseFor(uint16_t wordCount) {
    if (wordCount <= 2) return StorageDBSerializer_Version2::DownloadingFilesSmall;
    if (wordCount <= 10) return StorageDBSerializer_Version2::DownloadingFilesMedium;
    if (wordCount <= 10000) return StorageDBSerializer_Version2::DownloadingFilesBig;
    return StorageDBSerializer_Version2::DatabaseCount;
}

const StorageDBSerializer_Version2::Database DOWNLOADING_DATABASES[] = {
    StorageDBSerializer_Version2::DownloadingFilesSmall,
    StorageDBSerializer_Version2::DownloadingFilesMedium,
    StorageDBSerializer_Version2::DownloadingFilesBig,
};

std::string pathHashKey(uint64_t pathHash) {
    return std::string(reinterpret_cast<const char*>(&pathHash), sizeof(pathHash));
}

bool logRefusal(const char* kind, const std::string& name, const FixedSizeRecord& record) {
    if (record.complete()) return false;
    Logger::LogError("Cannot store %s '%s' in the product database: its %s.", kind, name.c_str(),
                     record.refusal().c_str());
    return true;
}

// A record ready to be stored: the database it belongs in, its key and its bytes.
struct StoredRecord {
    StorageDBSerializer_Version2::Database database = StorageDBSerializer_Version2::DatabaseCount;
    std::string key;
    std::string bytes;
};

// Takes the record's bytes when every text fitted; otherwise logs which one did not.
bool keepRecord(const char* kind, const std::string& name, const FixedSizeRecord& record, StoredRecord& stored) {
    if (logRefusal(kind, name, record)) return false;
    stored.bytes = record.bytes();
    return true;
}

// The builders below fill `stored` (its key even for a record that does not fit)
// and return false, with the reason logged, when the item cannot be stored.
bool supportRecord(const RemoteSupportInfo& command, StoredRecord& stored) {
    FixedSizeRecord record(SupportRecord::SIZE);
    record.putText(SupportRecord::GAME_ID, command.gameId);
    record.putText(SupportRecord::EXECUTABLE, command.executable);
    record.putText(SupportRecord::ARGUMENT, command.argument);
    stored.database = StorageDBSerializer_Version2::Support;
    stored.key = record.fieldBytes(SupportRecord::EXECUTABLE);
    return keepRecord("support command", command.executable, record, stored);
}

bool redistRecord(const RedistInfo& redist, StoredRecord& stored) {
    FixedSizeRecord record(RedistRecord::SIZE);
    record.putText(RedistRecord::EXECUTABLE, redist.executable);
    record.putText(RedistRecord::ARGUMENT, redist.argument);
    record.putValue<uint8_t>(RedistRecord::EXECUTED, redist.executed ? 1 : 0);
    stored.database = StorageDBSerializer_Version2::Redistributables;
    stored.key = record.fieldBytes(RedistRecord::EXECUTABLE);
    return keepRecord("redistributable", redist.executable, record, stored);
}

bool directoryRecord(const DirInfo& directory, StoredRecord& stored) {
    const std::string& path = directory.definition->getPath();
    FixedSizeRecord record(DirectoryRecord::SIZE);
    record.putText(DirectoryRecord::PATH, path);
    record.putValue<int32_t>(DirectoryRecord::STATE, directory.state);
    record.putValue<uint8_t>(DirectoryRecord::SUPPORT, directory.definition->isSupport() ? 1 : 0);
    stored.database = StorageDBSerializer_Version2::Directories;
    stored.key = record.fieldBytes(DirectoryRecord::PATH);
    return keepRecord("directory", path, record, stored);
}

bool installedRecord(const InstalledFileInfo& file, StoredRecord& stored) {
    const FileInformation& info = file.getFileInfo();
    FixedSizeRecord record(InstalledRecord::SIZE);
    record.putText(InstalledRecord::PATH, info.getPath());
    record.putValue<int32_t>(InstalledRecord::STATE, file.getState());
    record.putText(InstalledRecord::HASH, info.getHash());
    record.putValue<uint64_t>(InstalledRecord::FILE_SIZE, info.getSize());
    record.putValue<int32_t>(InstalledRecord::FILE_TYPE, static_cast<int32_t>(info.getType()));
    record.putText(InstalledRecord::FULL_PATH, file.getFullPath());
    stored.database = StorageDBSerializer_Version2::InstalledFiles;
    stored.key = pathHashKey(info.getPathHash());
    return keepRecord("installed file", info.getPath(), record, stored);
}

bool symLinkRecord(const InstalledSymLinkInfo& link, StoredRecord& stored) {
    FixedSizeRecord record(SymLinkRecord::SIZE);
    record.putText(SymLinkRecord::FULL_PATH, link.getFullPath());
    record.putText(SymLinkRecord::FULL_TARGET_PATH, link.getFullTargetPath());
    record.putValue<char>(SymLinkRecord::TYPE, link.getType().empty() ? '\0' : link.getType()[0]);
    stored.database = StorageDBSerializer_Version2::InstalledSymLinks;
    stored.key = record.fieldBytes(SymLinkRecord::FULL_PATH);
    return keepRecord("symbolic link", link.getFullPath(), record, stored);
}

// The database follows from the bitmap's word count; a bitmap that fits none
// leaves `stored.database` at DatabaseCount.
bool downloadingRecord(const DownloadingFileInfo& file, StoredRecord& stored) {
    const FileInformation& info = file.getFileInfo();
    const uint32_t* words = nullptr;
    uint16_t wordCount = 0;
    file.getParts().getElements(words, wordCount);
    stored.database = downloadingDatabaseFor(wordCount);
    stored.key = pathHashKey(info.getPathHash());
    if (stored.database == StorageDBSerializer_Version2::DatabaseCount) {
        Logger::LogError("Cannot store downloading file '%s' in the product database: its bitmap has %d words.",
                         info.getPath().c_str(), static_cast<int>(wordCount));
        return false;
    }
    DownloadingRecord layout = downloadingRecordOf(stored.database);
    FixedSizeRecord record(layout.size());
    record.putText(DOWNLOADING_PATH, info.getPath());
    record.putValue<int32_t>(DownloadingRecord::STATE, file.getState());
    for (uint16_t index = 0; index < wordCount; ++index) {
        record.putValue<uint64_t>(DownloadingRecord::WORDS + 8 * index, words[index]);
    }
    record.putValue<uint64_t>(layout.fileSizeOffset(), info.getSize());
    record.putValue<uint16_t>(layout.wordCountOffset(), wordCount);
    record.putValue<int32_t>(layout.fileTypeOffset(), static_cast<int32_t>(info.getType()));
    record.putText(layout.hash(), info.getHash());
    return keepRecord("downloading file", info.getPath(), record, stored);
}

// A builder of the records of map entries whose value points at the file.
template <typename Build>
auto ofEntry(Build build) {
    return [build](const auto& entry, StoredRecord& stored) { return build(*entry.second, stored); };
}

bool hasSize(size_t found, size_t expected) {
    if (found == expected) return true;
    Logger::LogError("Invalid struct size (%d, should be %d), when trying to copy slice to the struct.",
                     static_cast<int>(found), static_cast<int>(expected));
    return false;
}

bool readText(const FixedSizeRecordView& view, const TextField& field, std::string& text) {
    if (view.getText(field, text)) return true;
    Logger::LogError("Text field '%s' has no terminating zero, when trying to copy slice to the struct.", field.name);
    return false;
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

bool logDownloadingStructFault() {
    Logger::LogError("Invalid struct size, when deserializing DownloadingFiles array. Aborting deserialization");
    return false;
}

// The record keeps the bitmap's words but not its parts count: the bitmap is
// sized to hold exactly the stored words, every stored bit included. The count
// is rebuilt when a remote definition is attached to the file again.
void restoreParts(const FixedSizeRecordView& view, uint16_t wordCount, DownloadingFileInfo& file) {
    if (wordCount == 0) return;
    uint16_t partsCount = static_cast<uint16_t>(wordCount * 32u - 1u);
    file.getParts().setPartInfo(partsCount);
    file.getDownloadingParts().setPartInfo(partsCount);
    for (uint16_t index = 0; index < wordCount; ++index) {
        uint64_t slot = view.getValue<uint64_t>(DownloadingRecord::WORDS + 8 * index);
        file.getParts().setPartElement(index, static_cast<uint32_t>(slot));
    }
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
    return UserPreferences().getStoragePath() + "/" + gameId;
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
    if (!rewrite({Support}, product->getSupportCommands(), supportRecord) ||
        !rewrite({Redistributables}, product->getRedistributables(), redistRecord)) {
        return false;
    }
    {
        ScopeTimer filesTimer("Inserting downloading files for " + gameId + " into DB");
        bool written = rewrite({DownloadingFilesBig, DownloadingFilesMedium, DownloadingFilesSmall},
                               product->getFiles().getDownloadingFiles(), ofEntry(downloadingRecord));
        if (!written) return false;
    }
    {
        ScopeTimer linksTimer("Inserting installed symbolic links for " + gameId + " into DB");
        bool written =
            rewrite({InstalledSymLinks}, product->getSymLinks().getInstalledSymLinks(), ofEntry(symLinkRecord));
        if (!written) return false;
    }
    {
        ScopeTimer filesTimer("Inserting installed files for " + gameId + "into DB");
        bool written = rewrite({InstalledFiles}, product->getFiles().getInstalledFiles(), ofEntry(installedRecord));
        if (!written) return false;
    }
    return rewrite({Directories}, product->getDirectories(), directoryRecord);
}

bool StorageDBSerializer_Version2::updateFileInDB(const DownloadingFileInfo::Ptr& file) {
    if (!m_open) return false;
    StoredRecord stored;
    bool fits = downloadingRecord(*file, stored);
    // A file whose bitmap changed size would otherwise leave its old record in
    // another database, and that one could be read back first; a file that is
    // not stored keeps no older record at all.
    for (Database which : DOWNLOADING_DATABASES) {
        if (!fits || which != stored.database) database(which).Delete(m_writeOptions, stored.key);
    }
    if (fits) writeRecord(stored.database, stored.key, stored.bytes);
    return fits;
}

bool StorageDBSerializer_Version2::updateFileInDB(const InstalledFileInfo::Ptr& file) {
    if (!m_open) return false;
    StoredRecord stored;
    if (!installedRecord(*file, stored)) {
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
    if (!symLinkRecord(*link, stored)) return false;
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
        read = readDirectories(*product);
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
        if (!hasSize(value.size(), RedistRecord::SIZE)) return logUndeserializableProduct(product);
        FixedSizeRecordView view(value.data(), value.size());
        std::string executable;
        std::string argument;
        if (!readText(view, RedistRecord::EXECUTABLE, executable) || !readText(view, RedistRecord::ARGUMENT, argument)) {
            return logUndeserializableProduct(product);
        }
        product.getRedistributables().emplace_back(executable, argument,
                                                   view.getValue<uint8_t>(RedistRecord::EXECUTED) != 0);
        return true;
    }, &m_readFailure);
}

bool StorageDBSerializer_Version2::readSupportCommands(ProductInfo& product) {
    return forEachRecord(database(Support), [&product](const leveldb::Slice&, const leveldb::Slice& value) {
        if (!hasSize(value.size(), SupportRecord::SIZE)) return logUndeserializableProduct(product);
        FixedSizeRecordView view(value.data(), value.size());
        std::string gameId;
        std::string executable;
        std::string argument;
        if (!readText(view, SupportRecord::GAME_ID, gameId) || !readText(view, SupportRecord::EXECUTABLE, executable) ||
            !readText(view, SupportRecord::ARGUMENT, argument)) {
            return logUndeserializableProduct(product);
        }
        product.getSupportCommands().emplace_back(gameId, executable, argument);
        return true;
    }, &m_readFailure);
}

bool StorageDBSerializer_Version2::readDirectories(ProductInfo& product) {
    return forEachRecord(database(Directories), [&product](const leveldb::Slice&, const leveldb::Slice& value) {
        if (!hasSize(value.size(), DirectoryRecord::SIZE)) return logUndeserializableProduct(product);
        FixedSizeRecordView view(value.data(), value.size());
        std::string path;
        if (!readText(view, DirectoryRecord::PATH, path)) return logUndeserializableProduct(product);
        RemoteDirDefinition::Ptr definition =
            new RemoteDirDefinition(view.getValue<uint8_t>(DirectoryRecord::SUPPORT) != 0, path);
        product.getDirectories().emplace_back(
            definition, static_cast<DirInfo::EDirState>(view.getValue<int32_t>(DirectoryRecord::STATE)));
        return true;
    }, &m_readFailure);
}

bool StorageDBSerializer_Version2::deserializeDownloadingFiles(ProductInfo* product) {
    if (!m_open) return false;
    for (Database which : DOWNLOADING_DATABASES) {
        if (!readDownloadingFiles(which, *product)) return false;
    }
    return true;
}

bool StorageDBSerializer_Version2::readDownloadingFiles(Database which, ProductInfo& product) {
    DownloadingRecord layout = downloadingRecordOf(which);
    return forEachRecord(database(which), [&](const leveldb::Slice& key, const leveldb::Slice& value) {
        if (!hasSize(key.size(), PATH_HASH_KEY_SIZE)) {
            Logger::LogError("Invalid key size, when deserializing DownloadingFiles array. Aborting deserialization");
            return false;
        }
        if (!hasSize(value.size(), layout.size())) return logDownloadingStructFault();
        FixedSizeRecordView view(value.data(), value.size());
        std::string path;
        std::string hash;
        if (!readText(view, DOWNLOADING_PATH, path) || !readText(view, layout.hash(), hash)) {
            return logDownloadingStructFault();
        }
        uint16_t wordCount = view.getValue<uint16_t>(layout.wordCountOffset());
        if (wordCount > layout.slots || wordCount > DownloadingRecord::MAX_BITMAP_WORDS) {
            Logger::LogError("Invalid bitmap word count (%d, at most %d), when trying to copy slice to the struct.",
                             static_cast<int>(wordCount),
                             static_cast<int>(std::min<size_t>(layout.slots, DownloadingRecord::MAX_BITMAP_WORDS)));
            return logDownloadingStructFault();
        }
        auto state = static_cast<DownloadingFileInfo::DownloadingFileState>(
            view.getValue<int32_t>(DownloadingRecord::STATE));
        DownloadingFileInfo::Ptr file =
            new DownloadingFileInfo(static_cast<FileType>(view.getValue<int32_t>(layout.fileTypeOffset())), path,
                                    state, Utilities::AppendPath(product.getDownloadsPath(), path));
        file->getFileInfo().setHash(hash);
        file->getFileInfo().setSize(view.getValue<uint64_t>(layout.fileSizeOffset()));
        if (file->getFileInfo().getSize() != 0) restoreParts(view, wordCount, *file);
        product.getFiles().addDownloadingFileInfo(file);
        return true;
    }, &m_readFailure);
}

bool StorageDBSerializer_Version2::deserializeInstalledFiles(ProductInfo* product) {
    if (!m_open) return false;
    return forEachRecord(database(InstalledFiles), [product](const leveldb::Slice& key, const leveldb::Slice& value) {
        if (!hasSize(key.size(), PATH_HASH_KEY_SIZE)) {
            Logger::LogError("Invalid key size (%d) when deserializing InstalledFiles. Aboerting deserialization.",
                             static_cast<int>(key.size()));
            return false;
        }
        bool intact = hasSize(value.size(), InstalledRecord::SIZE);
        FixedSizeRecordView view(value.data(), value.size());
        std::string path;
        std::string hash;
        std::string fullPath;
        intact = intact && readText(view, InstalledRecord::PATH, path) && readText(view, InstalledRecord::HASH, hash) &&
                 readText(view, InstalledRecord::FULL_PATH, fullPath);
        if (!intact) {
            Logger::LogError("Invalid size (%d) of struct, when deserializing InstalledFiles. Aborting deserialization.",
                             static_cast<int>(value.size()));
            return false;
        }
        auto state =
            static_cast<InstalledFileInfo::InstalledFileState>(view.getValue<int32_t>(InstalledRecord::STATE));
        InstalledFileInfo::Ptr file = new InstalledFileInfo(
            static_cast<FileType>(view.getValue<int32_t>(InstalledRecord::FILE_TYPE)), path, state, fullPath);
        file->getFileInfo().setHash(hash);
        file->getFileInfo().setSize(view.getValue<uint64_t>(InstalledRecord::FILE_SIZE));
        product->getFiles().addInstalledFileInfo(file);
        return true;
    }, &m_readFailure);
}

}  // namespace VantisClient
