// One storage format of a product's database: opens, creates and deletes the
// databases of one product and moves its file lists between a ProductInfo and
// them. The storage facade picks the format and keeps the calls apart.
// Thread-safety: none; an implementation keeps per-call state (open sessions or
// databases), so the facade never lets two calls overlap.
#pragma once

#include <string>
#include <vector>

#include "model/DownloadingFileInfo.h"
#include "model/InstalledFileInfo.h"
#include "model/InstalledSymLinkInfo.h"

namespace VantisClient {

class ProductInfo;

class IStorageDBSerializer {
public:
    virtual ~IStorageDBSerializer() = default;

    virtual bool openDB(const std::string& gameId) = 0;
    virtual bool closeDB(const std::string& gameId) = 0;
    virtual bool deleteDB(const std::string& gameId) = 0;
    virtual bool createDB(const std::string& gameId) = 0;
    virtual bool deserializeFromDB(ProductInfo* product) = 0;
    virtual bool serializeToDB(ProductInfo* product) = 0;
    virtual bool serializeSingleFileToDB(const InstalledFileInfo::Ptr& file) = 0;
    virtual bool serializeSingleFileToDB(const DownloadingFileInfo::Ptr& file) = 0;
    virtual bool serializeFilesToDB(const std::vector<InstalledFileInfo::Ptr>& files) = 0;
    virtual bool serializeFilesToDB(const std::vector<DownloadingFileInfo::Ptr>& files) = 0;
    virtual bool updateFileInDB(const InstalledFileInfo::Ptr& file) = 0;
    virtual bool updateFileInDB(const DownloadingFileInfo::Ptr& file) = 0;
    virtual bool updateFileInDB(const InstalledSymLinkInfo::Ptr& link) = 0;
    virtual bool deserializeDownloadingFiles(ProductInfo* product) = 0;
    virtual bool deserializeInstalledFiles(ProductInfo* product) = 0;
};

}  // namespace VantisClient
