// The file records of one product, each map keyed by the file's relative path:
// the files on disk, the files being downloaded, and the remote definitions of
// the current synchronization. Iteration follows the hash table, not the paths.
// Thread-safety: none of its own; guard it like the ProductInfo that holds it.
#pragma once

#include <string>

#include <Poco/HashMap.h>

#include "model/DownloadingFileInfo.h"
#include "model/InstalledFileInfo.h"
#include "model/RemoteFileDefinition.h"

namespace VantisClient {

class ProductFiles {
public:
    using InstalledFiles = Poco::HashMap<std::string, InstalledFileInfo::Ptr>;
    using DownloadingFiles = Poco::HashMap<std::string, DownloadingFileInfo::Ptr>;
    using RemoteFiles = Poco::HashMap<std::string, RemoteFileDefinition::Ptr>;

    ProductFiles();

    // These two keep an entry already under the same path and drop the new one.
    // An empty pointer throws Poco::NullPointerException, here and below.
    void addInstalledFileInfo(const InstalledFileInfo::Ptr& file);
    void addDownloadingFileInfo(const DownloadingFileInfo::Ptr& file);
    // These two replace an entry under the same path.
    void insertOrUpdateInstalledFileInfo(const InstalledFileInfo::Ptr& file);
    void addRemoteFileInfo(const RemoteFileDefinition::Ptr& definition);

    InstalledFiles& getInstalledFiles() { return m_installedFiles; }
    const InstalledFiles& getInstalledFiles() const { return m_installedFiles; }
    DownloadingFiles& getDownloadingFiles() { return m_downloadingFiles; }
    const DownloadingFiles& getDownloadingFiles() const { return m_downloadingFiles; }
    RemoteFiles& getRemoteFiles() { return m_remoteFiles; }
    const RemoteFiles& getRemoteFiles() const { return m_remoteFiles; }

private:
    InstalledFiles m_installedFiles;
    DownloadingFiles m_downloadingFiles;
    RemoteFiles m_remoteFiles;
};

}  // namespace VantisClient
