// One symbolic link of a product as created on disk.
// Thread-safety: immutable after construction; shared freely.
#pragma once

#include <string>

#include <Poco/SharedPtr.h>

namespace VantisClient {

class InstalledSymLinkInfo {
public:
    using Ptr = Poco::SharedPtr<InstalledSymLinkInfo>;

    InstalledSymLinkInfo(const std::string& fullPath, const std::string& fullTargetPath, const std::string& type)
        : m_fullPath(fullPath), m_fullTargetPath(fullTargetPath), m_type(type) {}

    const std::string& getFullPath() const { return m_fullPath; }
    const std::string& getFullTargetPath() const { return m_fullTargetPath; }
    // The manifest's symlink type.
    const std::string& getType() const { return m_type; }

private:
    std::string m_fullPath;
    std::string m_fullTargetPath;
    std::string m_type;
};

}  // namespace VantisClient
