// Format version 1 of a product's database: the product's file lists as SQLite
// tables in its own ".db" file. Only read nowadays, to migrate a product to the
// current format; every operation still works so that tests can write such files.
// Thread-safety: none; the facade never lets two calls overlap.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "storage/IStorageDBSerializer.h"

namespace Poco {
namespace Data {
class Session;
}
}  // namespace Poco

namespace VantisClient {

class StorageDBSerializer_Version1 : public IStorageDBSerializer {
public:
    StorageDBSerializer_Version1();
    ~StorageDBSerializer_Version1() override;

    bool openDB(const std::string& gameId) override;
    bool closeDB(const std::string& gameId) override;
    // These two work on the open session, whatever the game id.
    bool deleteDB(const std::string& gameId) override;
    bool createDB(const std::string& gameId) override;
    bool deserializeFromDB(ProductInfo* product) override;
    // Rewrites the product's tables from scratch.
    bool serializeToDB(ProductInfo* product) override;
    bool serializeSingleFileToDB(const InstalledFileInfo::Ptr& file) override;
    bool serializeSingleFileToDB(const DownloadingFileInfo::Ptr& file) override;
    bool serializeFilesToDB(const std::vector<InstalledFileInfo::Ptr>& files) override;
    bool serializeFilesToDB(const std::vector<DownloadingFileInfo::Ptr>& files) override;
    // The three below run inside the caller's transaction and let database
    // errors reach the caller.
    bool updateFileInDB(const InstalledFileInfo::Ptr& file) override;
    bool updateFileInDB(const DownloadingFileInfo::Ptr& file) override;
    bool updateFileInDB(const InstalledSymLinkInfo::Ptr& link) override;
    bool deserializeDownloadingFiles(ProductInfo* product) override;
    bool deserializeInstalledFiles(ProductInfo* product) override;

private:
    // One transaction around the write of one file or of a batch of one kind.
    template <typename FilePtr>
    bool storeSingleFile(const FilePtr& file, const char* timerName);
    template <typename FilePtr>
    bool storeFiles(const std::vector<FilePtr>& files, const char* timerName);
    // Throws Poco::NullPointerException when no database is open.
    Poco::Data::Session& session() const;
    void writeProductTables(ProductInfo& product);
    void readDownloadingFiles(ProductInfo& product);
    void readInstalledFiles(ProductInfo& product);

    std::unique_ptr<Poco::Data::Session> m_session;
};

}  // namespace VantisClient
