#include "storage/StorageDBSerializer.h"

#include <algorithm>

#include <Poco/Data/RecordSet.h>
#include <Poco/Data/SQLite/Connector.h>
#include <Poco/Data/SQLite/SQLiteException.h>
#include <Poco/Data/Session.h>
#include <Poco/Data/Statement.h>
#include <Poco/Data/Transaction.h>
#include <Poco/Exception.h>
#include <Poco/File.h>

#include "common/Logger.h"
#include "common/ScopedLock.h"
#include "common/Utilities.h"
#include "storage/StorageDBSerializer_Version1.h"
#include "storage/StorageDBSerializer_Version2.h"
#include "storage/StorageIndexSerializer_Version1.h"
#include "storage/StorageIndexSerializer_Version2.h"

namespace VantisClient {

namespace {

using Poco::Data::Session;
using Poco::Data::Keywords::bind;
using Poco::Data::Keywords::now;

const char* const SQLITE_CONNECTOR = "SQLite";
const size_t SESSION_TIMEOUT_SECONDS = 60;

bool storeFiles(IStorageDBSerializer& serializer, const InstalledFileInfo::Ptr& file) {
    return serializer.serializeSingleFileToDB(file);
}

bool storeFiles(IStorageDBSerializer& serializer, const DownloadingFileInfo::Ptr& file) {
    return serializer.serializeSingleFileToDB(file);
}

bool storeFiles(IStorageDBSerializer& serializer, const std::vector<InstalledFileInfo::Ptr>& files) {
    return serializer.serializeFilesToDB(files);
}

bool storeFiles(IStorageDBSerializer& serializer, const std::vector<DownloadingFileInfo::Ptr>& files) {
    return serializer.serializeFilesToDB(files);
}

bool logNotStarted() {
    Logger::LogError("Storage is not started.");
    return false;
}

}  // namespace

const int32_t StorageDBSerializer::s_currentVersion = 2;
StorageDBSerializer::DBSerializers StorageDBSerializer::s_dbSerializersMap;
StorageDBSerializer::IndexSerializers StorageDBSerializer::s_indexSerializersMap;
VantisMutex StorageDBSerializer::s_mutex;
std::string StorageDBSerializer::s_storagePath;
VantisMutex StorageDBSerializer::s_pathMutex;

// One product's databases: a session on its product file and its databases
// opened in every registered format, all closed on destruction. open() is
// separate from construction so that databases opened before a failure are
// still closed.
class StorageDBSerializer::SessionDBWrapper {
public:
    SessionDBWrapper(const std::string& gameId, const DBSerializers& serializers)
        : m_gameId(gameId), m_serializers(serializers) {}
    ~SessionDBWrapper() { close(); }
    SessionDBWrapper(const SessionDBWrapper&) = delete;
    SessionDBWrapper& operator=(const SessionDBWrapper&) = delete;

    // Throws what opening the session throws. False when the current format's
    // databases could not be opened: then nothing may be migrated into them or
    // read from them. Also opens them again after close().
    bool open() {
        m_session.reset(new Session(SQLITE_CONNECTOR, getDBpath(m_gameId), SESSION_TIMEOUT_SECONDS));
        bool currentOpened = false;
        for (auto& entry : m_serializers) {
            bool opened = entry.second->openDB(m_gameId);
            if (entry.first == s_currentVersion) currentOpened = opened;
        }
        if (!currentOpened) Logger::LogError("Could not open database for product '%s'.", m_gameId.c_str());
        m_usable = currentOpened;
        return currentOpened;
    }

    // Closes the session and every format's databases, the older formats' own
    // sessions on the product file among them: afterwards nothing of the
    // process has the file open.
    void close() {
        if (!m_session) return;
        for (auto& entry : m_serializers) {
            if (!entry.second->closeDB(m_gameId)) {
                Logger::LogError("Could not close database for product '%s'.", m_gameId.c_str());
            }
        }
        m_session.reset();
        m_usable = false;
    }

    const std::string& gameId() const { return m_gameId; }
    Session& session() { return *m_session; }
    const DBSerializers& serializers() const { return m_serializers; }
    IStorageDBSerializer& current() const { return *m_serializers.at(s_currentVersion); }

    // Empties the product's databases in the current format.
    void recreate(bool storeVersion) {
        current().deleteDB(m_gameId);
        m_usable = current().createDB(m_gameId);
        if (storeVersion) StoreVersion(*m_session, s_currentVersion);
    }
    // False once the current format's databases are known not to be open, or
    // after close().
    bool usable() const { return m_usable; }

private:
    std::string m_gameId;
    const DBSerializers& m_serializers;
    std::unique_ptr<Session> m_session;
    bool m_usable = false;
};

// A product kept open: how many sessions keep it, serializers of its own (so
// that their databases stay open while other products go through the shared
// ones) and, once a call has opened them, its databases.
struct StorageDBSerializer::HeldProduct {
    int sessions = 0;
    DBSerializers serializers;
    std::unique_ptr<SessionDBWrapper> databases;
};

std::map<std::string, StorageDBSerializer::HeldProduct> StorageDBSerializer::s_heldProducts;

// Hands a session to every index serializer for the length of an operation.
class StorageDBSerializer::IndexSessionScope {
public:
    explicit IndexSessionScope(Session& session) { setAll(&session); }
    ~IndexSessionScope() { setAll(nullptr); }
    IndexSessionScope(const IndexSessionScope&) = delete;
    IndexSessionScope& operator=(const IndexSessionScope&) = delete;

private:
    static void setAll(Session* session) {
        for (auto& entry : s_indexSerializersMap) entry.second->setSession(session);
    }
};

StorageDBSerializer::DBSerializers StorageDBSerializer::makeDBSerializers() {
    DBSerializers serializers;
    serializers[1].reset(new StorageDBSerializer_Version1);
    serializers[2].reset(new StorageDBSerializer_Version2);
    return serializers;
}

void StorageDBSerializer::Start(const std::string& storagePath) {
    ScopedLock lock(s_mutex);
    if (!s_dbSerializersMap.empty()) return;
    {
        ScopedLock pathLock(s_pathMutex);
        s_storagePath = storagePath;
    }
    Poco::Data::SQLite::Connector::registerConnector();
    s_dbSerializersMap = makeDBSerializers();
    s_indexSerializersMap[1].reset(new StorageIndexSerializer_Version1);
    s_indexSerializersMap[2].reset(new StorageIndexSerializer_Version2);
}

void StorageDBSerializer::Shutdown() {
    ScopedLock lock(s_mutex);
    if (s_dbSerializersMap.empty()) return;
    s_heldProducts.clear();
    Poco::Data::SQLite::Connector::unregisterConnector();
    s_dbSerializersMap.clear();
    s_indexSerializersMap.clear();
}

bool StorageDBSerializer::KeepOpen(const std::string& gameId) {
    ScopedLock lock(s_mutex);
    if (s_dbSerializersMap.empty()) return logNotStarted();
    if (!IsStorableGameId(gameId)) return false;
    HeldProduct& held = s_heldProducts[gameId];
    if (held.sessions++ == 0) held.serializers = makeDBSerializers();
    return true;
}

void StorageDBSerializer::Release(const std::string& gameId) {
    ScopedLock lock(s_mutex);
    // Shutdown has already closed and forgotten what was kept.
    auto held = s_heldProducts.find(gameId);
    if (held == s_heldProducts.end()) return;
    if (--held->second.sessions == 0) s_heldProducts.erase(held);
}

std::string StorageDBSerializer::getDBpath(const std::string& gameId) {
    ScopedLock lock(s_pathMutex);
    return Utilities::AppendPath(s_storagePath, gameId + ".db");
}

std::string StorageDBSerializer::getProductDirectory(const std::string& gameId) {
    ScopedLock lock(s_pathMutex);
    return Utilities::AppendPath(s_storagePath, gameId);
}

std::string StorageDBSerializer::getIndexDBPath() {
    ScopedLock lock(s_pathMutex);
    return Utilities::AppendPath(s_storagePath, "index.db");
}

bool StorageDBSerializer::IsStorableGameId(const std::string& gameId) {
    bool plainName = !gameId.empty() && gameId != "." && gameId != ".." &&
                     gameId.find_first_of(std::string("/\0", 2)) == std::string::npos;
    if (!plainName) Logger::LogError("Game id '%s' cannot name a product database.", gameId.c_str());
    return plainName;
}

IStorageDBSerializer* StorageDBSerializer::currentDBSerializer() {
    auto found = s_dbSerializersMap.find(s_currentVersion);
    return found == s_dbSerializersMap.end() ? nullptr : found->second.get();
}

IStorageIndexSerializer* StorageDBSerializer::currentIndexSerializer() {
    auto found = s_indexSerializersMap.find(s_currentVersion);
    return found == s_indexSerializersMap.end() ? nullptr : found->second.get();
}

int32_t StorageDBSerializer::FetchVersion(Session& session) {
    int32_t version = -1;
    FormatCheck failure = FormatCheck::Unreadable;
    readVersion(session, version, failure);
    return version;
}

bool StorageDBSerializer::readVersion(Session& session, int32_t& version, FormatCheck& failure) {
    version = -1;
    try {
        Poco::Data::Statement select(session);
        select << "SELECT version from DBInfo", now;
        Poco::Data::RecordSet records(select);
        if (records.rowCount() == 1) version = records.value(0, 0).convert<int32_t>();
        return true;
    } catch (const Poco::Data::SQLite::SQLiteException& e) {
        Logger::LogError("FetchVersion failed. SQLException: %s", e.displayText().c_str());
        // A query that SQLite cannot compile means that the file has no version
        // table of ours. A damaged file stays damaged whoever reads it; any
        // other error (busy, locked, I/O) tells nothing of what the file holds.
        if (dynamic_cast<const Poco::Data::SQLite::InvalidSQLStatementException*>(&e) != nullptr) return true;
        bool damaged = dynamic_cast<const Poco::Data::SQLite::CorruptImageException*>(&e) != nullptr;
        failure = damaged ? FormatCheck::Damaged : FormatCheck::Unreadable;
        return false;
    } catch (const Poco::Exception& e) {
        // The stored value is not a version.
        Logger::LogError("FetchVersion failed. Exception: %s", e.displayText().c_str());
        return true;
    }
}

void StorageDBSerializer::StoreVersion(Session& session, int32_t) {
    try {
        Poco::Data::Transaction transaction(session);
        session << "DROP TABLE IF EXISTS DBInfo;", now;
        session << "CREATE TABLE DBInfo( version UINT16);", now;
        session << "INSERT INTO DBInfo( version) VALUES( ?);", bind(s_currentVersion), now;
        transaction.commit();
    } catch (const Poco::Data::SQLite::SQLiteException& e) {
        Logger::LogError("StoreVersion failed. SQLException: %s", e.displayText().c_str());
    } catch (const Poco::Exception& e) {
        Logger::LogError("StoreVersion failed. Exception: %s", e.displayText().c_str());
    }
}

bool StorageDBSerializer::CheckIndexIntegrity(Session& session) {
    ScopedLock lock(s_mutex);
    IndexSessionScope scope(session);
    return checkIndexFormat(session) == FormatCheck::Current;
}

bool StorageDBSerializer::CheckDBIntegrity(Session& session) {
    ScopedLock lock(s_mutex);
    return checkDBFormat(session, s_dbSerializersMap) == FormatCheck::Current;
}

// A migration that fails, to read or to write, leaves the old version in place
// and the file as readable as it was: the next call runs it again.
StorageDBSerializer::FormatCheck StorageDBSerializer::checkIndexFormat(Session& session) {
    int32_t version = -1;
    FormatCheck failure = FormatCheck::Unreadable;
    if (!readVersion(session, version, failure)) return failure;
    if (version == s_currentVersion) return FormatCheck::Current;
    auto old = s_indexSerializersMap.find(version);
    IStorageIndexSerializer* current = currentIndexSerializer();
    if (version == -1 || old == s_indexSerializersMap.end() || current == nullptr) return FormatCheck::Unknown;
    Products products;
    if (!old->second->deserializeFromIndex(products) || !current->serializeToIndex(products)) {
        return FormatCheck::Unreadable;
    }
    StoreVersion(session, s_currentVersion);
    return FormatCheck::Current;
}

// The old format's serializer reads into an empty record and the current one
// writes it: both have the product's databases open and neither looks at the
// record's game id. The current one leaves out, with a log line, what it cannot
// hold. A migration cut short leaves the old version in place, so it simply
// runs again at the next open, and its rewrite replaces whatever got written.
StorageDBSerializer::FormatCheck StorageDBSerializer::checkDBFormat(Session& session,
                                                                    const DBSerializers& serializers) {
    int32_t version = -1;
    FormatCheck failure = FormatCheck::Unreadable;
    if (!readVersion(session, version, failure)) return failure;
    if (version == s_currentVersion) return FormatCheck::Current;
    auto old = serializers.find(version);
    auto current = serializers.find(s_currentVersion);
    if (version == -1 || old == serializers.end() || current == serializers.end()) return FormatCheck::Unknown;
    ProductInfo migrated;
    if (!old->second->deserializeFromDB(&migrated) || !current->second->serializeToDB(&migrated)) {
        return FormatCheck::Unreadable;
    }
    StoreVersion(session, s_currentVersion);
    return FormatCheck::Current;
}

bool StorageDBSerializer::logUnreadable(const char* operation, const std::string& path) {
    Logger::LogError("%s: could not read the format of '%s'; the file is left as it is.", operation, path.c_str());
    return false;
}

// The damaged file is kept for a look into what went wrong, but only the latest
// one: a file that keeps getting damaged must not fill the disk.
bool StorageDBSerializer::moveDamagedAside(const char* operation, const std::string& path) {
    const std::string aside = path + ".damaged";
    try {
        Poco::File(path).renameTo(aside);
    } catch (const Poco::Exception& e) {
        Logger::LogError("%s: '%s' is damaged and could not be moved to '%s'. Exception: %s", operation,
                         path.c_str(), aside.c_str(), e.displayText().c_str());
        return false;
    }
    Logger::LogError("%s: '%s' is damaged; it was moved to '%s' and a new file takes its place.", operation,
                     path.c_str(), aside.c_str());
    return true;
}

void StorageDBSerializer::recreateIndex(Session& session) {
    IStorageIndexSerializer* current = currentIndexSerializer();
    current->deleteIndex();
    current->createIndex();
    StoreVersion(session, s_currentVersion);
}

StorageDBSerializer::FormatCheck StorageDBSerializer::prepareIndex(const char* operation, Session& session,
                                                                   bool existed) {
    FormatCheck format = existed ? checkIndexFormat(session) : FormatCheck::Unknown;
    if (format == FormatCheck::Damaged) format = replaceDamagedIndex(operation, session);
    if (format == FormatCheck::Unknown) recreateIndex(session);
    if (format == FormatCheck::Unreadable) logUnreadable(operation, getIndexDBPath());
    return format;
}

// The session object stays the one the index serializers were handed; only the
// connection behind it is replaced.
StorageDBSerializer::FormatCheck StorageDBSerializer::replaceDamagedIndex(const char* operation, Session& session) {
    const std::string path = getIndexDBPath();
    session.close();
    if (!moveDamagedAside(operation, path)) return FormatCheck::Unreadable;
    session = Session(SQLITE_CONNECTOR, path, SESSION_TIMEOUT_SECONDS);
    return FormatCheck::Unknown;
}

template <typename Work>
bool StorageDBSerializer::withIndex(const char* operation, IndexUse use, Work work) {
    ScopedLock lock(s_mutex);
    IStorageIndexSerializer* current = currentIndexSerializer();
    if (current == nullptr) return logNotStarted();
    const std::string path = getIndexDBPath();
    if (use == IndexUse::ReadExisting && !Utilities::GetFileExists(path)) return false;
    try {
        Utilities::CreateDirectoryForFile(path);
        bool existed = Utilities::GetFileExists(path);
        Session session(SQLITE_CONNECTOR, path, SESSION_TIMEOUT_SECONDS);
        IndexSessionScope scope(session);
        FormatCheck format = prepareIndex(operation, session, existed);
        if (format == FormatCheck::Unreadable) return false;
        // An index made anew, on a first start or over an unknown format, holds
        // nothing to read, but takes a product like any other.
        if (use != IndexUse::Write && format != FormatCheck::Current) return false;
        return work(*current);
    } catch (const Poco::Exception& e) {
        Logger::LogError("%s: connection to database failed. Exception: %s", operation, e.displayText().c_str());
        return false;
    }
}

bool StorageDBSerializer::SerializeIndex(const Products& products) {
    return withIndex("SerializeIndex", IndexUse::Write,
                     [&products](IStorageIndexSerializer& current) { return current.serializeToIndex(products); });
}

bool StorageDBSerializer::DeserializeIndex(Products& products) {
    return withIndex("DeserializeIndex", IndexUse::ReadExisting,
                     [&products](IStorageIndexSerializer& current) { return current.deserializeFromIndex(products); });
}

ProductInfo::Ptr StorageDBSerializer::DeserializeIndexEntry(const std::string& gameId) {
    Products index;
    DeserializeIndex(index);
    for (const ProductInfo::Ptr& entry : index) {
        if (entry->getGameId() == gameId) return entry;
    }
    return ProductInfo::Ptr();
}

bool StorageDBSerializer::UpdateProductInIndex(ProductInfo* product) {
    return withIndex("UpdateProductInIndex", IndexUse::Write, [product](IStorageIndexSerializer& current) {
        return current.serializeSingleProductToIndex(product);
    });
}

bool StorageDBSerializer::DeleteProductFromIndex(const std::string& gameId) {
    return withIndex("DeleteProductFromIndex", IndexUse::Modify, [&gameId](IStorageIndexSerializer& current) {
        Products products;
        if (!current.deserializeFromIndex(products)) return false;
        auto removed = std::remove_if(products.begin(), products.end(),
                                      [&gameId](const ProductInfo::Ptr& product) { return product->getGameId() == gameId; });
        if (removed == products.end()) {
            Logger::LogInfo("GameId %s not found in index, cannot delete", gameId.c_str());
            return false;
        }
        products.erase(removed, products.end());
        // The rewrite decides the outcome: a failed one has not deleted anything
        // the caller could rely on.
        if (!current.serializeToIndex(products)) return false;
        Logger::LogInfo("GameId %s deleted from index", gameId.c_str());
        return true;
    });
}

template <typename Work>
bool StorageDBSerializer::withProductDatabases(const std::string& gameId, Work work) {
    auto held = s_heldProducts.find(gameId);
    if (held == s_heldProducts.end()) {
        SessionDBWrapper databases(gameId, s_dbSerializersMap);
        return databases.open() && work(databases);
    }
    std::unique_ptr<SessionDBWrapper>& kept = held->second.databases;
    // Databases that a failed recreation left closed are opened again, and so is
    // a product file removed behind the facade's back: a kept session would go
    // on writing to a file that no longer has a name.
    if (kept && (!kept->usable() || !Utilities::GetFileExists(getDBpath(gameId)))) kept.reset();
    if (!kept) {
        std::unique_ptr<SessionDBWrapper> opened(new SessionDBWrapper(gameId, held->second.serializers));
        if (!opened->open()) return false;
        kept = std::move(opened);
    }
    return work(*kept);
}

bool StorageDBSerializer::SerializeProduct(ProductInfo* product) {
    ScopedLock lock(s_mutex);
    if (currentDBSerializer() == nullptr) return logNotStarted();
    const std::string& gameId = product->getGameId();
    if (!IsStorableGameId(gameId)) return false;
    try {
        std::string path = getDBpath(gameId);
        Utilities::CreateDirectoryForFile(path);
        bool existed = Utilities::GetFileExists(path);
        return withProductDatabases(gameId, [&](SessionDBWrapper& databases) {
            return prepareProduct("SerializeProduct", databases, existed, true) != FormatCheck::Unreadable &&
                   databases.current().serializeToDB(product);
        });
    } catch (const Poco::Exception& e) {
        Logger::LogError("SerializeProduct: connection to database failed. Exception: %s", e.displayText().c_str());
        return false;
    }
}

StorageDBSerializer::FormatCheck StorageDBSerializer::prepareProduct(const char* operation,
                                                                     SessionDBWrapper& databases, bool existed,
                                                                     bool storeVersion) {
    FormatCheck format =
        existed ? checkDBFormat(databases.session(), databases.serializers()) : FormatCheck::Unknown;
    if (format == FormatCheck::Damaged) format = replaceDamagedProduct(operation, databases);
    if (format == FormatCheck::Unknown) databases.recreate(storeVersion);
    if (format == FormatCheck::Unreadable) logUnreadable(operation, getDBpath(databases.gameId()));
    return format;
}

// Whatever the product's databases still hold belongs to the damaged file, so
// the recreation that follows empties them. A product kept open keeps its
// wrapper, closed and opened again on the new file.
StorageDBSerializer::FormatCheck StorageDBSerializer::replaceDamagedProduct(const char* operation,
                                                                            SessionDBWrapper& databases) {
    databases.close();
    if (!moveDamagedAside(operation, getDBpath(databases.gameId()))) return FormatCheck::Unreadable;
    // Should the current format's databases not open here, the recreation that
    // follows tries again and records whether they are usable.
    databases.open();
    return FormatCheck::Unknown;
}

template <typename Action>
bool StorageDBSerializer::onExistingProduct(const char* operation, const std::string& gameId,
                                           bool storeVersionOnRecreate, Action action) {
    ScopedLock lock(s_mutex);
    if (currentDBSerializer() == nullptr) return logNotStarted();
    if (!IsStorableGameId(gameId)) return false;
    std::string path = getDBpath(gameId);
    if (!Utilities::GetFileExists(path)) return false;
    try {
        return withProductDatabases(gameId, [&](SessionDBWrapper& databases) {
            return prepareProduct(operation, databases, true, storeVersionOnRecreate) == FormatCheck::Current &&
                   action(databases.current());
        });
    } catch (const Poco::Exception& e) {
        Logger::LogError("%s: connection to database failed. Exception: %s", operation, e.displayText().c_str());
        return false;
    }
}

bool StorageDBSerializer::DeserializeProduct(const std::string& gameId, ProductInfo* product) {
    return onExistingProduct("DeserializeProduct", gameId, false,
                             [product](IStorageDBSerializer& current) { return current.deserializeFromDB(product); });
}

template <typename Files>
bool StorageDBSerializer::updateFiles(const char* operation, const std::string& gameId, const Files& files) {
    return onExistingProduct(operation, gameId, true,
                             [&files](IStorageDBSerializer& current) { return storeFiles(current, files); });
}

bool StorageDBSerializer::UpdateFileInProduct(const std::string& gameId, const InstalledFileInfo::Ptr& file) {
    return updateFiles("UpdateFileInProduct", gameId, file);
}

bool StorageDBSerializer::UpdateFileInProduct(const std::string& gameId, const DownloadingFileInfo::Ptr& file) {
    return updateFiles("UpdateFileInProduct", gameId, file);
}

bool StorageDBSerializer::UpdateFilesInProduct(const std::string& gameId,
                                               const std::vector<InstalledFileInfo::Ptr>& files) {
    return updateFiles("UpdateFilesInProduct", gameId, files);
}

bool StorageDBSerializer::UpdateFilesInProduct(const std::string& gameId,
                                               const std::vector<DownloadingFileInfo::Ptr>& files) {
    return updateFiles("UpdateFilesInProduct", gameId, files);
}

bool StorageDBSerializer::DeleteProductDB(const std::string& gameId) {
    ScopedLock lock(s_mutex);
    if (!IsStorableGameId(gameId)) return false;
    // A product kept open is closed first; the next call on it opens it anew.
    auto held = s_heldProducts.find(gameId);
    if (held != s_heldProducts.end()) held->second.databases.reset();
    try {
        Poco::File file(getDBpath(gameId));
        if (file.exists()) file.remove();
        Logger::LogInfo("DeleteProductDB complete for gameId %s", gameId.c_str());
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("DeleteProductDB failed for gid %s Exception: %s", gameId.c_str(), e.displayText().c_str());
        return false;
    }
}

}  // namespace VantisClient
