// Shared pieces of the storage tests: a fixture with a started storage facade
// on the test's own root, products that carry one record of every kind, and raw
// access to the SQLite files and LevelDB directories the facade writes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <Poco/Data/Session.h>
#include <gtest/gtest.h>
#include <leveldb/db.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/UserPreferences.h"
#include "model/ProductInfo.h"
#include "storage/StorageDBSerializer.h"
#include "storage/StorageDBSerializer_Version2.h"
#include "support/Sandbox.h"

namespace StorageTestSupport {

using VantisClient::ProductInfo;
using Database = VantisClient::StorageDBSerializer_Version2::Database;

class StorageTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        VantisClient::StorageDBSerializer::Start(preferences.getStoragePath());
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
    }

    static std::string recentLog() { return VantisClient::RecentMemoryBufferChannel::Instance().getContents(); }
    static void clearLog() { VantisClient::RecentMemoryBufferChannel::Instance().Clear(); }
    static bool logged(const std::string& text) { return recentLog().find(text) != std::string::npos; }

    // `operation` met the damaged file at `path`, closed it, logged it and moved
    // it aside with the bytes it had.
    static void expectMovedAside(const std::string& operation, const std::string& path, const std::string& damaged);

    std::string storagePath() { return preferences.getStoragePath(); }
    std::string productDirectory(const std::string& gameId) { return storagePath() + "/" + gameId; }
    std::string databasePath(const std::string& gameId, Database database) {
        return productDirectory(gameId) + "/" +
               std::to_string(VantisClient::StorageDBSerializer_Version2::DatabaseIdentifier(database));
    }

    VantisClient::UserPreferences preferences;
};

// A session on a SQLite file, for running statements the way an older client did.
inline std::unique_ptr<Poco::Data::Session> OpenSqlite(const std::string& path) {
    return std::unique_ptr<Poco::Data::Session>(new Poco::Data::Session("SQLite", path, 60));
}

// Runs statements on the file and closes it again.
void RunSql(const std::string& path, const std::vector<std::string>& statements);
// The single value of a query's first row and column, as text; "" when none.
std::string QueryText(const std::string& path, const std::string& query);
int QueryCount(const std::string& path, const std::string& query);

// A whole LevelDB database as key/value pairs, in key order. The facade keeps
// databases closed between operations, unless a product is kept open, so tests
// may open them.
std::vector<std::pair<std::string, std::string>> ReadAll(const std::string& databasePath);
void PutRaw(const std::string& databasePath, const std::string& key, const std::string& value);
// False while another handle has the database open: LevelDB lets one at a time in.
bool CanOpen(const std::string& databasePath);

// Every read of the SQLite file fails with an I/O error, as on a failing disk,
// until RestoreSqliteReads: SQLite finds a directory where it looks for the
// file's rollback journal, takes it for a journal to roll back, and cannot read
// it. Works as root, unlike taking the file's permissions away.
void BreakSqliteReads(const std::string& path);
void RestoreSqliteReads(const std::string& path);

// A way a SQLite file gets damaged on disk.
struct Damage {
    const char* name;
    // The damaged bytes, made of the file's valid ones and its page size.
    std::string (*apply)(const std::string& valid, size_t pageSize);
};
// Garbage bytes come first: a connection kept open across the damage sees only
// damage to the first page, where SQLite learns whether its cache is stale.
const std::vector<Damage>& FileDamages();
// Overwrites the file in place, so that handles open on it see the change;
// returns the damaged bytes.
std::string DamageFile(const std::string& path, const Damage& damage);
// True while one of this process's descriptors is open on the file.
bool OpenInThisProcess(const std::string& path);

// A product with one record of every kind the product database keeps.
ProductInfo::Ptr MakeFullProduct(const std::string& gameId);
// A downloading file of `parts` 1 MiB parts, with every third part written.
VantisClient::DownloadingFileInfo::Ptr MakeDownloadingFile(const std::string& path, uint16_t parts);
VantisClient::InstalledFileInfo::Ptr MakeInstalledFile(const std::string& path, const std::string& hash = "");

}  // namespace StorageTestSupport
