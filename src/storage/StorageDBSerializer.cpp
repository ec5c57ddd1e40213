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

#include "common/ClientUserPreferences.h"
#include "common/Logger.h"
#include "common/ScopedLock.h"
#include "common/UserPreferences.h"
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

std::string storagePath() {
    IUserPreferences* preferences = ClientUserPreferences::Get();
    if (preferences != nullptr) return preferences->getStoragePath();
    return UserPreferences().getStoragePath();
}

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

// Opens one product's databases in every registered format for the length of
// an operation. open() is separate from construction so that databases opened
// before a failure are still closed.
class StorageDBSerializer::SessionDBWrapper {
public:
    explicit SessionDBWrapper(const std::string& gameId) : m_gameId(gameId) {}
    ~SessionDBWrapper() {
        for (IStorageDBSerializer* serializer : m_opened) {
            if (!serializer->closeDB(m_gameId)) {
                Logger::LogError("Could not close database for product '%s'.", m_gameId.c_str());
            }
        }
    }
    SessionDBWrapper(const SessionDBWrapper&) = delete;
    SessionDBWrapper& operator=(const SessionDBWrapper&) = delete;

    // False when the current format's databases could not be opened: then
    // nothing may be migrated into them or read from them.
    bool open() {
        bool currentOpened = false;
        for (auto& entry : s_dbSerializersMap) {
            m_opened.push_back(entry.second.get());
            bool opened = entry.second->openDB(m_gameId);
            if (entry.first == s_currentVersion) currentOpened = opened;
        }
        if (!currentOpened) Logger::LogError("Could not open database for product '%s'.", m_gameId.c_str());
        return currentOpened;
    }

private:
    std::string m_gameId;
    std::vector<IStorageDBSerializer*> m_opened;
};

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

void StorageDBSerializer::Start() {
    ScopedLock lock(s_mutex);
    if (!s_dbSerializersMap.empty()) return;
    Poco::Data::SQLite::Connector::registerConnector();
    s_dbSerializersMap[1].reset(new StorageDBSerializer_Version1);
    s_indexSerializersMap[1].reset(new StorageIndexSerializer_Version1);
    s_dbSerializersMap[2].reset(new StorageDBSerializer_Version2);
    s_indexSerializersMap[2].reset(new StorageIndexSerializer_Version2);
}

void StorageDBSerializer::Shutdown() {
    ScopedLock lock(s_mutex);
    if (s_dbSerializersMap.empty()) return;
    Poco::Data::SQLite::Connector::unregisterConnector();
    s_dbSerializersMap.clear();
    s_indexSerializersMap.clear();
}

std::string StorageDBSerializer::getDBpath(const std::string& gameId) {
    return Utilities::AppendPath(storagePath(), gameId + ".db");
}

std::string StorageDBSerializer::getIndexDBPath() { return Utilities::AppendPath(storagePath(), "index.db"); }

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
    try {
        Poco::Data::Statement select(session);
        select << "SELECT version from DBInfo", now;
        Poco::Data::RecordSet records(select);
        if (records.rowCount() != 1) return -1;
        return records.value(0, 0).convert<int32_t>();
    } catch (const Poco::Data::SQLite::SQLiteException& e) {
        Logger::LogError("FetchVersion failed. SQLException: %s", e.displayText().c_str());
    } catch (const Poco::Exception& e) {
        Logger::LogError("FetchVersion failed. Exception: %s", e.displayText().c_str());
    }
    return -1;
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
    return checkIndexIntegrity(session);
}

bool StorageDBSerializer::CheckDBIntegrity(Session& session) {
    ScopedLock lock(s_mutex);
    return checkDBIntegrity(session);
}

bool StorageDBSerializer::checkIndexIntegrity(Session& session) {
    int32_t version = FetchVersion(session);
    if (version == s_currentVersion) return true;
    auto old = s_indexSerializersMap.find(version);
    IStorageIndexSerializer* current = currentIndexSerializer();
    if (version == -1 || old == s_indexSerializersMap.end() || current == nullptr) return false;
    Products products;
    if (!old->second->deserializeFromIndex(products)) return false;
    if (!current->serializeToIndex(products)) return false;
    StoreVersion(session, s_currentVersion);
    return true;
}

// The old format's serializer reads into an empty record and the current one
// writes it: both have the product's databases open and neither looks at the
// record's game id. A migration cut short leaves the old version in place, so
// it simply runs again at the next open; writing clears the new databases first.
bool StorageDBSerializer::checkDBIntegrity(Session& session) {
    int32_t version = FetchVersion(session);
    if (version == s_currentVersion) return true;
    auto old = s_dbSerializersMap.find(version);
    IStorageDBSerializer* current = currentDBSerializer();
    if (version == -1 || old == s_dbSerializersMap.end() || current == nullptr) return false;
    ProductInfo migrated;
    if (!old->second->deserializeFromDB(&migrated)) return false;
    // A record the current format cannot hold is logged by the serializer; the
    // rest of the product still moves over.
    current->serializeToDB(&migrated);
    StoreVersion(session, s_currentVersion);
    return true;
}

void StorageDBSerializer::recreateIndex(Session& session) {
    IStorageIndexSerializer* current = currentIndexSerializer();
    current->deleteIndex();
    current->createIndex();
    StoreVersion(session, s_currentVersion);
}

bool StorageDBSerializer::SerializeIndex(const Products& products) {
    ScopedLock lock(s_mutex);
    IStorageIndexSerializer* current = currentIndexSerializer();
    if (current == nullptr) return logNotStarted();
    try {
        std::string path = getIndexDBPath();
        Utilities::CreateDirectoryForFile(path);
        bool existed = Utilities::GetFileExists(path);
        Session session(SQLITE_CONNECTOR, path, SESSION_TIMEOUT_SECONDS);
        IndexSessionScope scope(session);
        if (!existed || !checkIndexIntegrity(session)) recreateIndex(session);
        return current->serializeToIndex(products);
    } catch (const Poco::Exception& e) {
        Logger::LogError("SerializeIndex: connection to database failed. Exception: %s", e.displayText().c_str());
        return false;
    }
}

bool StorageDBSerializer::DeserializeIndex(Products& products) {
    ScopedLock lock(s_mutex);
    IStorageIndexSerializer* current = currentIndexSerializer();
    if (current == nullptr) return logNotStarted();
    std::string path = getIndexDBPath();
    if (!Utilities::GetFileExists(path)) return false;
    try {
        Session session(SQLITE_CONNECTOR, path, SESSION_TIMEOUT_SECONDS);
        IndexSessionScope scope(session);
        if (checkIndexIntegrity(session)) return current->deserializeFromIndex(products);
        recreateIndex(session);
        return false;
    } catch (const Poco::Exception& e) {
        Logger::LogError("DeserializeIndex: connection to database failed. Exception: %s", e.displayText().c_str());
        return false;
    }
}

bool StorageDBSerializer::UpdateProductInIndex(ProductInfo* product) {
    ScopedLock lock(s_mutex);
    IStorageIndexSerializer* current = currentIndexSerializer();
    if (current == nullptr) return logNotStarted();
    try {
        std::string path = getIndexDBPath();
        Utilities::CreateDirectoryForFile(path);
        Session session(SQLITE_CONNECTOR, path, SESSION_TIMEOUT_SECONDS);
        IndexSessionScope scope(session);
        if (checkIndexIntegrity(session)) return current->serializeSingleProductToIndex(product);
        recreateIndex(session);
        return false;
    } catch (const Poco::Exception& e) {
        Logger::LogError("UpdateProductInIndex: connection to database failed. Exception: %s",
                         e.displayText().c_str());
        return false;
    }
}

bool StorageDBSerializer::DeleteProductFromIndex(const std::string& gameId) {
    ScopedLock lock(s_mutex);
    IStorageIndexSerializer* current = currentIndexSerializer();
    if (current == nullptr) return logNotStarted();
    try {
        std::string path = getIndexDBPath();
        Utilities::CreateDirectoryForFile(path);
        Session session(SQLITE_CONNECTOR, path, SESSION_TIMEOUT_SECONDS);
        IndexSessionScope scope(session);
        if (!checkIndexIntegrity(session)) {
            recreateIndex(session);
            return false;
        }
        Products products;
        if (!current->deserializeFromIndex(products)) return false;
        auto removed = std::remove_if(products.begin(), products.end(),
                                      [&gameId](const ProductInfo::Ptr& product) { return product->getGameId() == gameId; });
        if (removed == products.end()) {
            Logger::LogInfo("GameId %s not found in index, cannot delete", gameId.c_str());
            return false;
        }
        products.erase(removed, products.end());
        // The rewrite decides the outcome: a failed one has not deleted anything
        // the caller could rely on.
        if (!current->serializeToIndex(products)) return false;
        Logger::LogInfo("GameId %s deleted from index", gameId.c_str());
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("DeleteProductFromIndex: connection to database failed. Exception: %s",
                         e.displayText().c_str());
        return false;
    }
}

bool StorageDBSerializer::SerializeProduct(ProductInfo* product) {
    ScopedLock lock(s_mutex);
    IStorageDBSerializer* current = currentDBSerializer();
    if (current == nullptr) return logNotStarted();
    const std::string& gameId = product->getGameId();
    if (!IsStorableGameId(gameId)) return false;
    try {
        std::string path = getDBpath(gameId);
        Utilities::CreateDirectoryForFile(path);
        bool existed = Utilities::GetFileExists(path);
        Session session(SQLITE_CONNECTOR, path, SESSION_TIMEOUT_SECONDS);
        SessionDBWrapper databases(gameId);
        if (!databases.open()) return false;
        if (!existed || !checkDBIntegrity(session)) {
            current->deleteDB(gameId);
            current->createDB(gameId);
            StoreVersion(session, s_currentVersion);
        }
        return current->serializeToDB(product);
    } catch (const Poco::Exception& e) {
        Logger::LogError("SerializeProduct: connection to database failed. Exception: %s", e.displayText().c_str());
        return false;
    }
}

template <typename Action>
bool StorageDBSerializer::onExistingProduct(const char* operation, const std::string& gameId,
                                           bool storeVersionOnRecreate, Action action) {
    ScopedLock lock(s_mutex);
    IStorageDBSerializer* current = currentDBSerializer();
    if (current == nullptr) return logNotStarted();
    if (!IsStorableGameId(gameId)) return false;
    std::string path = getDBpath(gameId);
    if (!Utilities::GetFileExists(path)) return false;
    try {
        Session session(SQLITE_CONNECTOR, path, SESSION_TIMEOUT_SECONDS);
        SessionDBWrapper databases(gameId);
        if (!databases.open()) return false;
        if (checkDBIntegrity(session)) return action(*current);
        current->deleteDB(gameId);
        current->createDB(gameId);
        if (storeVersionOnRecreate) StoreVersion(session, s_currentVersion);
        return false;
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
