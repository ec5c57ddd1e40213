// One symbolic-link entry of a depot manifest: the link's relative path, what it
// points to, and the manifest's link type.
// Thread-safety: immutable after construction; shared freely.
#pragma once

#include <string>

#include <Poco/SharedPtr.h>

namespace VantisClient {

class RemoteSymLinkDefinition {
public:
    using Ptr = Poco::SharedPtr<RemoteSymLinkDefinition>;

    RemoteSymLinkDefinition(const std::string& path, const std::string& target, const std::string& symlinkType)
        : m_path(path), m_target(target), m_symlinkType(symlinkType) {}

    const std::string& getPath() const { return m_path; }
    const std::string& getTarget() const { return m_target; }
    const std::string& getSymlinkType() const { return m_symlinkType; }

private:
    std::string m_path;
    std::string m_target;
    std::string m_symlinkType;
};

}  // namespace VantisClient
