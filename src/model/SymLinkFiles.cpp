#include "model/SymLinkFiles.h"

#include <Poco/Exception.h>

namespace VantisClient {

void SymLinkFiles::addInstalledSymLinkInfo(const InstalledSymLinkInfo::Ptr& link) {
    if (link.isNull()) throw Poco::NullPointerException("installed symbolic link");
    m_installedSymLinks.emplace(link->getFullPath(), link);
}

void SymLinkFiles::removeInstalledSymLinkInfo(const std::string& fullPath) { m_installedSymLinks.erase(fullPath); }

void SymLinkFiles::addRemoteSymLinkInfo(const RemoteSymLinkDefinition::Ptr& definition) {
    if (definition.isNull()) throw Poco::NullPointerException("remote symbolic link");
    m_remoteSymLinks[definition->getPath()] = definition;
}

}  // namespace VantisClient
