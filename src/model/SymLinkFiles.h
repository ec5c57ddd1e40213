// The symbolic links of one product: those created on disk, keyed by their full
// path, and the remote definitions of the current synchronization, keyed by
// relative path. Both iterate in byte order of their keys.
// Thread-safety: none of its own; guard it like the ProductInfo that holds it.
#pragma once

#include <map>
#include <string>

#include "model/InstalledSymLinkInfo.h"
#include "model/RemoteSymLinkDefinition.h"

namespace VantisClient {

class SymLinkFiles {
public:
    using InstalledSymLinks = std::map<std::string, InstalledSymLinkInfo::Ptr>;
    using RemoteSymLinks = std::map<std::string, RemoteSymLinkDefinition::Ptr>;

    // Keeps an entry already under the same full path. An empty pointer throws
    // Poco::NullPointerException, here and in addRemoteSymLinkInfo.
    void addInstalledSymLinkInfo(const InstalledSymLinkInfo::Ptr& link);
    void removeInstalledSymLinkInfo(const std::string& fullPath);
    // Replaces an entry under the same relative path.
    void addRemoteSymLinkInfo(const RemoteSymLinkDefinition::Ptr& definition);

    InstalledSymLinks& getInstalledSymLinks() { return m_installedSymLinks; }
    const InstalledSymLinks& getInstalledSymLinks() const { return m_installedSymLinks; }
    RemoteSymLinks& getRemoteSymLinks() { return m_remoteSymLinks; }
    const RemoteSymLinks& getRemoteSymLinks() const { return m_remoteSymLinks; }

private:
    InstalledSymLinks m_installedSymLinks;
    RemoteSymLinks m_remoteSymLinks;
};

}  // namespace VantisClient
