#include "storage/StorageDBSerializer_Version1.h"

#include <algorithm>

#include <Poco/Data/Session.h>
#include <Poco/Data/Transaction.h>
#include <Poco/Exception.h>
#include <Poco/Tuple.h>

#include "common/Logger.h"
#include "common/ScopeTimer.h"
#include "common/Utilities.h"
#include "model/ProductInfo.h"
#include "storage/StorageDBSerializer.h"

namespace VantisClient {

namespace {

using Poco::Data::Session;
using Poco::Data::Keywords::bind;
using Poco::Data::Keywords::into;
using Poco::Data::Keywords::now;

const char* const CREATE_DB_STATEMENTS[] = {
    "CREATE TABLE Support( id INTEGER PRIMARY KEY AUTOINCREMENT, executable VARCHAR, argument VARCHAR, gameID "
    "VARCHAR)",
    "CREATE TABLE Redistributables(executable VARCHAR, argument VARCHAR, executed BOOLEAN)",
    "CREATE TABLE InstalledFiles(id INTEGER PRIMARY KEY AUTOINCREMENT, path VARCHAR, state INT16, hash VARCHAR(32), "
    "size INT64, fileType INT16, fullPath VARCHAR)",
    "CREATE TABLE DownloadingFiles(id INTEGER PRIMARY KEY AUTOINCREMENT, path VARCHAR, state INT16, hash "
    "VARCHAR(32), size INT64, fileType INT16)",
    "CREATE TABLE DownloadingParts(partId INTEGER PRIMARY KEY AUTOINCREMENT, path VARCHAR, partIndex UINT16, value "
    "BOOLEAN)",
    "CREATE TABLE Directories(path VARCHAR, state INT16, support BOOLEAN)",
    "CREATE TABLE InstalledSymLinks(id INTEGER PRIMARY KEY AUTOINCREMENT, path VARCHAR, target VARCHAR, type "
    "VARCHAR)",
};

const char* const DROP_DB_STATEMENTS[] = {
    "DROP TABLE IF EXISTS Support",          "DROP TABLE IF EXISTS Redistributables",
    "DROP TABLE IF EXISTS InstalledFiles",   "DROP TABLE IF EXISTS DownloadingFiles",
    "DROP TABLE IF EXISTS DownloadingParts", "DROP TABLE IF EXISTS Directories",
    "DROP TABLE IF EXISTS InstalledSymLinks",
};

template <size_t N>
void runInTransaction(Session& session, const char* const (&statements)[N]) {
    Poco::Data::Transaction transaction(session);
    for (const char* statement : statements) session << statement, now;
    transaction.commit();
}

void readRedistributables(Session& session, ProductInfo& product) {
    std::vector<Poco::Tuple<std::string, std::string, bool>> rows;
    session << "SELECT executable, argument, executed FROM Redistributables", into(rows), now;
    product.getRedistributables().clear();
    for (const auto& row : rows) product.getRedistributables().emplace_back(row.get<0>(), row.get<1>(), row.get<2>());
}

void readSupportCommands(Session& session, ProductInfo& product) {
    std::vector<Poco::Tuple<std::string, std::string, std::string>> rows;
    session << "SELECT executable, argument, gameID FROM Support", into(rows), now;
    product.getSupportCommands().clear();
    for (const auto& row : rows) product.getSupportCommands().emplace_back(row.get<2>(), row.get<0>(), row.get<1>());
}

void readDirectories(Session& session, ProductInfo& product) {
    std::vector<Poco::Tuple<std::string, Poco::Int32, bool>> rows;
    session << "SELECT path, state, support FROM Directories", into(rows), now;
    product.getDirectories().clear();
    for (const auto& row : rows) {
        RemoteDirDefinition::Ptr definition = new RemoteDirDefinition(row.get<2>(), row.get<0>());
        product.getDirectories().emplace_back(definition, static_cast<DirInfo::EDirState>(row.get<1>()));
    }
}

void readParts(Session& session, const std::string& path, DownloadingFileInfo& file) {
    std::vector<Poco::Tuple<Poco::UInt16, bool>> rows;
    session << "SELECT partIndex, value FROM DownloadingParts WHERE path=?", bind(path), into(rows), now;
    if (rows.empty()) return;
    // A damaged table may hold more rows than a file can have parts, or indexes
    // past the row count: such rows mark nothing.
    uint16_t count = static_cast<uint16_t>(std::min<size_t>(rows.size(), 65535));
    file.getParts().setPartInfo(count);
    for (const auto& row : rows) {
        if (row.get<1>() && row.get<0>() < count) file.getParts().markPart(row.get<0>());
    }
    file.getDownloadingParts().setPartInfo(count);
}

void writeSupportCommands(Session& session, ProductInfo& product) {
    for (const RemoteSupportInfo& command : product.getSupportCommands()) {
        session << "INSERT INTO Support(executable, argument, gameID) VALUES(?, ?, ?)", bind(command.executable),
            bind(command.argument), bind(command.gameId), now;
    }
}

void writeRedistributables(Session& session, ProductInfo& product) {
    for (const RedistInfo& redist : product.getRedistributables()) {
        session << "INSERT INTO Redistributables VALUES(?, ?, ?)", bind(redist.executable), bind(redist.argument),
            bind(redist.executed), now;
    }
}

void writeDirectories(Session& session, ProductInfo& product) {
    for (const DirInfo& directory : product.getDirectories()) {
        session << "INSERT INTO Directories(path, state, support) VALUES(?, ?, ?)",
            bind(directory.definition->getPath()), bind(static_cast<Poco::Int32>(directory.state)),
            bind(directory.definition->isSupport()), now;
    }
}

}  // namespace

StorageDBSerializer_Version1::StorageDBSerializer_Version1() = default;

StorageDBSerializer_Version1::~StorageDBSerializer_Version1() = default;

Poco::Data::Session& StorageDBSerializer_Version1::session() const {
    if (!m_session) throw Poco::NullPointerException("no product database open");
    return *m_session;
}

bool StorageDBSerializer_Version1::openDB(const std::string& gameId) {
    m_session.reset(new Session("SQLite", StorageDBSerializer::getDBpath(gameId), 60));
    return true;
}

bool StorageDBSerializer_Version1::closeDB(const std::string&) {
    m_session.reset();
    return true;
}

bool StorageDBSerializer_Version1::deleteDB(const std::string&) {
    ScopeTimer timer("Deleting DB");
    try {
        runInTransaction(session(), DROP_DB_STATEMENTS);
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("ProductInfo::deleteDB failed. Exception: %s", e.displayText().c_str());
        return false;
    }
}

bool StorageDBSerializer_Version1::createDB(const std::string&) {
    ScopeTimer timer("Creating DB");
    try {
        runInTransaction(session(), CREATE_DB_STATEMENTS);
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("ProductInfo::createDB failed. Exception: %s", e.displayText().c_str());
        return false;
    }
}

bool StorageDBSerializer_Version1::serializeToDB(ProductInfo* product) {
    if (!deleteDB(product->getGameId()) || !createDB(product->getGameId())) return false;
    try {
        ScopeTimer timer("Inserting " + product->getGameId() + " into DB");
        Poco::Data::Transaction transaction(session());
        writeProductTables(*product);
        transaction.commit();
        product->markSection(ProductInfo::ProductDBSection);
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("ProductInfo::serializeToDB failed for product %s. Exception: %s",
                         product->getGameId().c_str(), e.displayText().c_str());
        return false;
    }
}

void StorageDBSerializer_Version1::writeProductTables(ProductInfo& product) {
    const std::string& gameId = product.getGameId();
    writeSupportCommands(session(), product);
    writeRedistributables(session(), product);
    {
        ScopeTimer timer("Inserting downloading files for " + gameId + " into DB");
        for (const auto& entry : product.getFiles().getDownloadingFiles()) updateFileInDB(entry.second);
    }
    {
        ScopeTimer timer("Inserting installed symbolic links for " + gameId + " into DB");
        for (const auto& entry : product.getSymLinks().getInstalledSymLinks()) updateFileInDB(entry.second);
    }
    {
        ScopeTimer timer("Inserting installed files for " + gameId + "into DB");
        for (const auto& entry : product.getFiles().getInstalledFiles()) updateFileInDB(entry.second);
    }
    writeDirectories(session(), product);
}

template <typename FilePtr>
bool StorageDBSerializer_Version1::storeSingleFile(const FilePtr& file, const char* timerName) {
    ScopeTimer timer(timerName);
    try {
        Poco::Data::Transaction transaction(session());
        updateFileInDB(file);
        transaction.commit();
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("ProductInfo::serializeSingleFileToDB failed for path %s. Exception: %s.",
                         file->getFullPath().c_str(), e.displayText().c_str());
        return false;
    }
}

template <typename FilePtr>
bool StorageDBSerializer_Version1::storeFiles(const std::vector<FilePtr>& files, const char* timerName) {
    ScopeTimer timer(timerName);
    try {
        Poco::Data::Transaction transaction(session());
        for (const FilePtr& file : files) updateFileInDB(file);
        transaction.commit();
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("ProductInfo::serializeFilesToDB failed. Exception: %s.", e.displayText().c_str());
        return false;
    }
}

bool StorageDBSerializer_Version1::serializeSingleFileToDB(const InstalledFileInfo::Ptr& file) {
    return storeSingleFile(file, "Updating installed file in DB");
}

bool StorageDBSerializer_Version1::serializeSingleFileToDB(const DownloadingFileInfo::Ptr& file) {
    return storeSingleFile(file, "Updating downloading file in DB");
}

bool StorageDBSerializer_Version1::serializeFilesToDB(const std::vector<InstalledFileInfo::Ptr>& files) {
    return storeFiles(files, "Updating installed files in DB");
}

bool StorageDBSerializer_Version1::serializeFilesToDB(const std::vector<DownloadingFileInfo::Ptr>& files) {
    return storeFiles(files, "Updating downloading files in DB");
}

bool StorageDBSerializer_Version1::updateFileInDB(const InstalledSymLinkInfo::Ptr& link) {
    session() << "DELETE FROM InstalledSymLinks WHERE path=?", bind(link->getFullPath()), now;
    session() << "INSERT INTO InstalledSymLinks(path, target, type) VALUES(?, ?, ?)", bind(link->getFullPath()),
        bind(link->getFullTargetPath()), bind(link->getType()), now;
    return true;
}

bool StorageDBSerializer_Version1::updateFileInDB(const InstalledFileInfo::Ptr& file) {
    const FileInformation& info = file->getFileInfo();
    session() << "DELETE FROM InstalledFiles WHERE path=?", bind(info.getPath()), now;
    session() << "INSERT INTO InstalledFiles(path, state, hash, size, fileType, fullPath) VALUES(?, ?, ?, ?, ?, ?)",
        bind(info.getPath()), bind(static_cast<Poco::Int32>(file->getState())), bind(info.getHash()),
        bind(static_cast<Poco::Int64>(info.getSize())), bind(static_cast<Poco::Int32>(info.getType())),
        bind(file->getFullPath()), now;
    return true;
}

bool StorageDBSerializer_Version1::updateFileInDB(const DownloadingFileInfo::Ptr& file) {
    const FileInformation& info = file->getFileInfo();
    const std::string& path = info.getPath();
    session() << "DELETE FROM DownloadingFiles WHERE path=?", bind(path), now;
    session() << "INSERT INTO DownloadingFiles(path, state, hash, size, fileType) VALUES(?, ?, ?, ?, ?)", bind(path),
        bind(static_cast<Poco::Int32>(file->getState())), bind(info.getHash()),
        bind(static_cast<Poco::Int64>(info.getSize())), bind(static_cast<Poco::Int32>(info.getType())), now;
    session() << "DELETE FROM DownloadingParts WHERE path=?", bind(path), now;
    const FileParts& parts = file->getParts();
    for (uint16_t index = 0; index < parts.getPartsCount(); ++index) {
        session() << "INSERT INTO DownloadingParts(path, partIndex, value) VALUES(?, ?, ?);", bind(path),
            bind(static_cast<Poco::UInt16>(index)), bind(parts.getPartState(index)), now;
    }
    return true;
}

bool StorageDBSerializer_Version1::deserializeFromDB(ProductInfo* product) {
    ScopeTimer timer("Fetching product from DB");
    try {
        readRedistributables(session(), *product);
        readSupportCommands(session(), *product);
        deserializeDownloadingFiles(product);
        deserializeInstalledFiles(product);
        readDirectories(session(), *product);
        product->markSection(ProductInfo::ProductDBSection);
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("ProductInfo::fetchFromDB failed. Exception: %s", e.displayText().c_str());
        return false;
    }
}

bool StorageDBSerializer_Version1::deserializeDownloadingFiles(ProductInfo* product) {
    try {
        readDownloadingFiles(*product);
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("ProductInfo::fetchFromDB failed. Exception: %s", e.displayText().c_str());
        return false;
    }
}

bool StorageDBSerializer_Version1::deserializeInstalledFiles(ProductInfo* product) {
    try {
        readInstalledFiles(*product);
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("ProductInfo::fetchFromDB failed. Exception: %s", e.displayText().c_str());
        return false;
    }
}

void StorageDBSerializer_Version1::readDownloadingFiles(ProductInfo& product) {
    std::vector<Poco::Tuple<std::string, Poco::Int32, std::string, Poco::Int64, Poco::Int32>> rows;
    session() << "SELECT path, state, hash, size, fileType FROM DownloadingFiles", into(rows), now;
    for (const auto& row : rows) {
        const std::string& path = row.get<0>();
        DownloadingFileInfo::Ptr file =
            new DownloadingFileInfo(static_cast<FileType>(row.get<4>()), path,
                                    static_cast<DownloadingFileInfo::DownloadingFileState>(row.get<1>()),
                                    Utilities::AppendPath(product.getDownloadsPath(), path));
        file->getFileInfo().setHash(row.get<2>());
        file->getFileInfo().setSize(static_cast<uint64_t>(row.get<3>()));
        readParts(session(), path, *file);
        product.getFiles().addDownloadingFileInfo(file);
    }
}

void StorageDBSerializer_Version1::readInstalledFiles(ProductInfo& product) {
    std::vector<Poco::Tuple<std::string, Poco::Int32, std::string, Poco::Int64, Poco::Int32, std::string>> rows;
    session() << "SELECT path, state, hash, size, fileType, fullPath FROM InstalledFiles", into(rows), now;
    for (const auto& row : rows) {
        InstalledFileInfo::Ptr file =
            new InstalledFileInfo(static_cast<FileType>(row.get<4>()), row.get<0>(),
                                  static_cast<InstalledFileInfo::InstalledFileState>(row.get<1>()), row.get<5>());
        file->getFileInfo().setHash(row.get<2>());
        file->getFileInfo().setSize(static_cast<uint64_t>(row.get<3>()));
        product.getFiles().addInstalledFileInfo(file);
    }
}

}  // namespace VantisClient
