#include "model/InstalledFileInfo.h"

namespace VantisClient {

InstalledFileInfo::InstalledFileInfo(FileType type, const std::string& path, InstalledFileState state,
                                     const std::string& fullPath)
    : m_fileInfo(type, path), m_state(state), m_fullPath(fullPath) {}

void InstalledFileInfo::hashingStarted() { m_state = Hashing; }

void InstalledFileInfo::hashingComplete(const std::string& hash) {
    m_fileInfo.setHash(hash);
    m_state = Hashed;
}

}  // namespace VantisClient
