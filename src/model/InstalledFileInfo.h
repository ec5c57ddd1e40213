// One file of a product as found or placed on disk, with its hash once known.
// Thread-safety: a plain record; guard it like the ProductInfo that holds it.
#pragma once

#include <cstdint>
#include <string>

#include <Poco/SharedPtr.h>

#include "model/FileInformation.h"

namespace VantisClient {

class InstalledFileInfo {
public:
    using Ptr = Poco::SharedPtr<InstalledFileInfo>;

    enum InstalledFileState : int32_t {
        Unverified = 1000,  // on disk, hash not computed
        Hashing = 1001,
        Hashed = 1002,  // the hash field holds the file's hash
    };

    // Hash empty and size 0 until set through getFileInfo().
    InstalledFileInfo(FileType type, const std::string& path, InstalledFileState state, const std::string& fullPath);

    InstalledFileState getState() const { return m_state; }
    FileInformation& getFileInfo() { return m_fileInfo; }
    const FileInformation& getFileInfo() const { return m_fileInfo; }
    const std::string& getFullPath() const { return m_fullPath; }

    void hashingStarted();
    void hashingComplete(const std::string& hash);

private:
    FileInformation m_fileInfo;
    InstalledFileState m_state;
    std::string m_fullPath;
};

}  // namespace VantisClient
