// One planned move of a verified download into place, with the installed
// record that describes the file once it is there: the download's type,
// relative path, size and hash, state hashed, and the install path.
// Thread-safety: none of its own; used on the install thread.
#pragma once

#include <string>

#include "model/DownloadingFileInfo.h"
#include "model/InstalledFileInfo.h"

namespace VantisClient {

class MovedFile {
public:
    MovedFile(const DownloadingFileInfo::Ptr& download, const std::string& installPath);

    const DownloadingFileInfo::Ptr& getDownload() const { return m_download; }
    const InstalledFileInfo::Ptr& getInstalled() const { return m_installed; }
    const std::string& getDownloadPath() const { return m_download->getFullPath(); }
    const std::string& getInstallPath() const { return m_installed->getFullPath(); }
    const FileInformation& getFileInfo() const { return m_download->getFileInfo(); }

private:
    DownloadingFileInfo::Ptr m_download;
    InstalledFileInfo::Ptr m_installed;
};

}  // namespace VantisClient
