#include "storage/StorageIndexSerializer_Version1.h"

#include <string>
#include <vector>

#include <Poco/Data/Session.h>
#include <Poco/Data/Transaction.h>
#include <Poco/Exception.h>
#include <Poco/Tuple.h>

#include "common/Logger.h"
#include "model/ProductInfo.h"

namespace VantisClient {

namespace {

using Poco::Data::Session;
using Poco::Data::Keywords::bind;
using Poco::Data::Keywords::into;
using Poco::Data::Keywords::now;

const char* const LOCAL_ENDPOINT = "local";
const char* const REMOTE_ENDPOINT = "remote";

const char* const CREATE_INDEX_STATEMENTS[] = {
    "CREATE TABLE IF NOT EXISTS Products(gid VARCHAR PRIMARY KEY, timestamp INT64, state INT16, localpath VARCHAR, "
    "downloadsPath VARCHAR, supportPath VARCHAR, language VARCHAR)",
    "CREATE TABLE IF NOT EXISTS AvailableLanguages(id INTEGER PRIMARY KEY AUTOINCREMENT, gid VARCHAR, language "
    "VARCHAR)",
    "CREATE TABLE IF NOT EXISTS AvailableGameIDInfo(id INTEGER PRIMARY KEY AUTOINCREMENT, gid VARCHAR, gameID "
    "VARCHAR, standalone BOOLEAN)",
    "CREATE TABLE IF NOT EXISTS AvailableGameIDDependencies(id INTEGER PRIMARY KEY AUTOINCREMENT, gid VARCHAR, "
    "gameID VARCHAR, dependency VARCHAR)",
    "CREATE TABLE IF NOT EXISTS AvailableGameIDNames(id INTEGER PRIMARY KEY AUTOINCREMENT, gid VARCHAR, gameID "
    "VARCHAR, locCode VARCHAR, name VARCHAR)",
    "CREATE TABLE IF NOT EXISTS SyncInfo(gid VARCHAR, endpoint VARCHAR, language VARCHAR)",
    "CREATE TABLE IF NOT EXISTS Revisions(id INTEGER PRIMARY KEY AUTOINCREMENT, gid VARCHAR, endpoint VARCHAR, "
    "revision VARCHAR);",
};

const char* const DROP_INDEX_STATEMENTS[] = {
    "DROP TABLE IF EXISTS Products;",
    "DROP TABLE IF EXISTS AvailableLanguages;",
    "DROP TABLE IF EXISTS AvailableGameIDInfo;",
    "DROP TABLE IF EXISTS AvailableGameIDDependencies;",
    "DROP TABLE IF EXISTS AvailableGameIDNames;",
    "DROP TABLE IF EXISTS SyncInfo",
    "DROP TABLE IF EXISTS Revisions",
};

template <size_t N>
void runStatements(Session& session, const char* const (&statements)[N]) {
    for (const char* statement : statements) session << statement, now;
}

template <size_t N>
void runInTransaction(Session& session, const char* const (&statements)[N]) {
    Poco::Data::Transaction transaction(session);
    runStatements(session, statements);
    transaction.commit();
}

enum class RewriteStep { Dropping, Creating, Writing };

void logRewriteFailure(RewriteStep step, const Poco::Exception& e) {
    switch (step) {
        case RewriteStep::Dropping:
            Logger::LogError("ProductInfo::deleteIndex failed. Exception: %s", e.displayText().c_str());
            break;
        case RewriteStep::Creating:
            Logger::LogError("ProductInfo::createIndex failed. Exception: %s", e.displayText().c_str());
            break;
        case RewriteStep::Writing:
            Logger::LogError("ProductInfo::commitIndex failed. Exception: %s", e.displayText().c_str());
            break;
    }
}

void writeAvailableLanguages(Session& session, const ProductInfo& product) {
    const std::string& gid = product.getGameId();
    session << "DELETE FROM AvailableLanguages WHERE gid=?;", bind(gid), now;
    for (const LanguageInfo& language : product.getAvailableLanguages()) {
        session << "INSERT INTO AvailableLanguages( gid, language) VALUES( ?, ?);", bind(gid),
            bind(language.asString()), now;
    }
}

void writeAvailableGameIDs(Session& session, const ProductInfo& product) {
    const std::string& gid = product.getGameId();
    session << "DELETE FROM AvailableGameIDInfo WHERE gid=?;", bind(gid), now;
    session << "DELETE FROM AvailableGameIDNames WHERE gid=?;", bind(gid), now;
    session << "DELETE FROM AvailableGameIDDependencies WHERE gid=?;", bind(gid), now;
    for (const AvailableGameIDInfo& info : product.getAvailableGameIDs()) {
        session << "INSERT INTO AvailableGameIDInfo(gid, gameID, standalone) VALUES(?, ?, ?);", bind(gid),
            bind(info.gameId), bind(info.standalone), now;
        for (const std::string& dependency : info.dependencies) {
            session << "INSERT INTO AvailableGameIDDependencies(gid, gameID, dependency) VALUES(?, ?, ?);", bind(gid),
                bind(info.gameId), bind(dependency), now;
        }
        for (const auto& name : info.names) {
            session << "INSERT INTO AvailableGameIDNames(gid, gameID, locCode, name) VALUES(?, ?, ?, ?);", bind(gid),
                bind(info.gameId), bind(LocString::LocalizationCodeToString(name.first)), bind(name.second), now;
        }
    }
}

void writeProductRow(Session& session, const ProductInfo& product) {
    session << "REPLACE INTO Products( gid, timestamp, state, localpath, downloadsPath, supportPath, language) "
               "VALUES( ?, ?, ?, ?, ?, ?, ?);",
        bind(product.getGameId()), bind(static_cast<Poco::UInt64>(product.getManifestTimestamp())),
        bind(static_cast<Poco::Int32>(product.getProductState())), bind(product.getLocalPath()),
        bind(product.getDownloadsPath()), bind(product.getSupportPath()), bind(product.getLanguage()), now;
}

void writeSyncInfo(Session& session, const ProductInfo& product) {
    const std::string& gid = product.getGameId();
    session << "DELETE FROM SyncInfo WHERE gid=?;", bind(gid), now;
    session << "INSERT INTO SyncInfo(gid, endpoint, language) VALUES(?, ?, ?)", bind(gid),
        bind(std::string(LOCAL_ENDPOINT)), bind(product.getLanguage()), now;
    const auto& target = product.getTargetIdentification();
    if (target.isNull()) return;
    session << "INSERT INTO SyncInfo(gid, endpoint, language) VALUES(?, ?, ?)", bind(gid),
        bind(std::string(REMOTE_ENDPOINT)), bind(target->language), now;
}

void writeRevisionRows(Session& session, const std::string& gid, const char* endpoint,
                       const tRevisionList& revisions) {
    for (const std::string& revision : revisions) {
        session << "INSERT INTO Revisions(gid, endpoint, revision) VALUES(?, ?, ?)", bind(gid),
            bind(std::string(endpoint)), bind(revision), now;
    }
}

void writeRevisions(Session& session, const ProductInfo& product) {
    const std::string& gid = product.getGameId();
    session << "DELETE FROM Revisions WHERE gid=?;", bind(gid), now;
    writeRevisionRows(session, gid, LOCAL_ENDPOINT, product.getRevisionList());
    const auto& target = product.getTargetIdentification();
    if (!target.isNull()) writeRevisionRows(session, gid, REMOTE_ENDPOINT, target->revisions);
}

void writeProduct(Session& session, const ProductInfo& product) {
    writeAvailableLanguages(session, product);
    writeAvailableGameIDs(session, product);
    writeProductRow(session, product);
    writeSyncInfo(session, product);
    writeRevisions(session, product);
}

void readAvailableLanguages(Session& session, ProductInfo& product) {
    std::vector<std::string> languages;
    session << "SELECT language FROM AvailableLanguages WHERE gid=?;", bind(product.getGameId()), into(languages),
        now;
    for (const std::string& language : languages) product.getAvailableLanguages().add_unique(LanguageInfo(language));
}

void readAvailableGameIDs(Session& session, ProductInfo& product) {
    const std::string& gid = product.getGameId();
    std::vector<Poco::Tuple<std::string, std::string, bool>> rows;
    session << "SELECT gid, gameID, standalone FROM AvailableGameIDInfo WHERE gid=?;", bind(gid), into(rows), now;
    for (const auto& row : rows) {
        AvailableGameIDInfo info(row.get<1>(), row.get<2>());
        std::vector<Poco::Tuple<std::string, std::string, std::string>> dependencies;
        session << "SELECT gid, gameID, dependency FROM AvailableGameIDDependencies WHERE gid=? AND gameID=?;",
            bind(gid), bind(info.gameId), into(dependencies), now;
        for (const auto& dependency : dependencies) info.dependencies.push_back(dependency.get<2>());
        std::vector<Poco::Tuple<std::string, std::string>> names;
        session << "SELECT locCode, name FROM AvailableGameIDNames WHERE gid=? AND gameID=?;", bind(gid),
            bind(info.gameId), into(names), now;
        for (const auto& name : names) {
            info.names.addString(LocString::ParseLocalizationCode(name.get<0>()), name.get<1>());
        }
        product.getAvailableGameIDs().push_back(info);
    }
}

// The "local" endpoint describes the product itself; "remote" describes the
// install or update that was started and has not finished.
void readSyncState(Session& session, ProductInfo& product) {
    const std::string& gid = product.getGameId();
    std::vector<Poco::Tuple<std::string, std::string>> languages;
    session << "SELECT endpoint, language FROM SyncInfo WHERE gid=?", bind(gid), into(languages), now;
    std::string remoteLanguage;
    for (const auto& row : languages) {
        if (row.get<0>() == LOCAL_ENDPOINT) product.setLanguage(row.get<1>());
        if (row.get<0>() == REMOTE_ENDPOINT) remoteLanguage = row.get<1>();
    }
    std::vector<Poco::Tuple<std::string, std::string>> revisions;
    session << "SELECT endpoint, revision FROM Revisions WHERE gid=?", bind(gid), into(revisions), now;
    tRevisionList remoteRevisions;
    for (const auto& row : revisions) {
        if (row.get<0>() == LOCAL_ENDPOINT) product.getRevisionList().push_back(row.get<1>());
        if (row.get<0>() == REMOTE_ENDPOINT) remoteRevisions.push_back(row.get<1>());
    }
    if (remoteRevisions.empty()) return;
    product.setTargetIdentification(new ProductIdentification("", 0, remoteRevisions, remoteLanguage));
}

using ProductRow =
    Poco::Tuple<std::string, Poco::UInt64, Poco::Int32, std::string, std::string, std::string, std::string>;

ProductInfo::Ptr readProduct(Session& session, const ProductRow& row) {
    ProductInfo::Ptr product = new ProductInfo;
    product->setGameId(row.get<0>());
    product->setManifestTimestamp(static_cast<int64_t>(row.get<1>()));
    product->setProductState(static_cast<EProductState>(row.get<2>()), false);
    product->assignStoredPaths(row.get<3>(), row.get<4>(), row.get<5>());
    product->setLanguage(row.get<6>());
    readAvailableLanguages(session, *product);
    readAvailableGameIDs(session, *product);
    readSyncState(session, *product);
    product->markSection(ProductInfo::IndexSection);
    return product;
}

}  // namespace

void StorageIndexSerializer_Version1::setSession(Poco::Data::Session* session) { m_session = session; }

Poco::Data::Session& StorageIndexSerializer_Version1::session() const {
    if (m_session == nullptr) throw Poco::NullPointerException("no index session");
    return *m_session;
}

bool StorageIndexSerializer_Version1::deleteIndex() {
    try {
        runInTransaction(session(), DROP_INDEX_STATEMENTS);
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("ProductInfo::deleteIndex failed. Exception: %s", e.displayText().c_str());
        return false;
    }
}

bool StorageIndexSerializer_Version1::createIndex() {
    try {
        runInTransaction(session(), CREATE_INDEX_STATEMENTS);
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("ProductInfo::createIndex failed. Exception: %s", e.displayText().c_str());
        return false;
    }
}

bool StorageIndexSerializer_Version1::deserializeFromIndex(Products& products) {
    try {
        std::vector<ProductRow> rows;
        session() << "SELECT gid, timestamp, state, localpath, downloadsPath, supportPath, language FROM Products;",
            into(rows), now;
        products.reserve(products.size() + rows.size());
        for (const ProductRow& row : rows) products.push_back(readProduct(session(), row));
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("StorageIndexSerializer::deserializeFromIndex, exception: %s", e.displayText().c_str());
        return false;
    }
}

// Dropping, creating and writing are one transaction: a rewrite that fails
// anywhere rolls back to the index as it was, instead of leaving the tables
// empty and the user's library forgotten.
bool StorageIndexSerializer_Version1::serializeToIndex(const Products& products) {
    RewriteStep step = RewriteStep::Dropping;
    try {
        Poco::Data::Transaction transaction(session());
        runStatements(session(), DROP_INDEX_STATEMENTS);
        step = RewriteStep::Creating;
        runStatements(session(), CREATE_INDEX_STATEMENTS);
        step = RewriteStep::Writing;
        for (const ProductInfo::Ptr& product : products) writeProduct(session(), *product);
        transaction.commit();
        return true;
    } catch (const Poco::Exception& e) {
        logRewriteFailure(step, e);
        return false;
    }
}

bool StorageIndexSerializer_Version1::serializeSingleProductToIndex(ProductInfo* product) {
    try {
        Poco::Data::Transaction transaction(session());
        writeProduct(session(), *product);
        transaction.commit();
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("ProductInfo::commitIndexDB failed for product %s. Exception: %s",
                         product->getGameId().c_str(), e.displayText().c_str());
        return false;
    }
}

}  // namespace VantisClient
