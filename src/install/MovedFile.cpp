#include "install/MovedFile.h"

namespace VantisClient {

MovedFile::MovedFile(const DownloadingFileInfo::Ptr& download, const std::string& installPath)
    : m_download(download),
      m_installed(new InstalledFileInfo(download->getFileInfo().getType(), download->getFileInfo().getPath(),
                                        InstalledFileInfo::Hashed, installPath)) {
    m_installed->getFileInfo().setSize(download->getFileInfo().getSize());
    m_installed->getFileInfo().setHash(download->getFileInfo().getHash());
}

}  // namespace VantisClient
