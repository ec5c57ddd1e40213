// One depot manifest as fetched from the backend: its files, directories and
// symbolic links in manifest order, read from the text one entry at a time. Any unusable entry fails the whole depot,
// and so does a link whose target leaves the install directory through the
// depot's other links.
// A copy shares the entries but not the manifest name (see the copy operations).
// Thread-safety: none; used by one install task at a time.
#pragma once

#include <string>
#include <vector>

#include <Poco/JSON/Object.h>
#include <Poco/SharedPtr.h>

#include "model/RemoteDirDefinition.h"
#include "model/RemoteFileDefinition.h"
#include "model/RemoteSymLinkDefinition.h"

namespace VantisClient {

class DepotDefinition {
public:
    using Ptr = Poco::SharedPtr<DepotDefinition>;

    explicit DepotDefinition(const std::string& manifestName);
    // Copies the three lists; the copy's manifest name is empty.
    DepotDefinition(const DepotDefinition& other);
    // Copies the three lists; the target keeps its own manifest name.
    DepotDefinition& operator=(const DepotDefinition& other);

    // How a manifest's text read: as a depot, not as JSON at all, or as JSON
    // that is no usable depot (logged).
    enum class Reading { Read, NotJson, Unusable };
    // Replaces the three lists with the entries of a manifest's text.
    Reading readText(const std::string& text);

    std::vector<RemoteFileDefinition::Ptr>& getFiles() { return m_files; }
    const std::vector<RemoteFileDefinition::Ptr>& getFiles() const { return m_files; }
    const std::vector<RemoteDirDefinition::Ptr>& getDirectories() const { return m_directories; }
    const std::vector<RemoteSymLinkDefinition::Ptr>& getSymLinks() const { return m_symLinks; }
    const std::string& getManifestName() const { return m_manifestName; }

private:
    void clearEntries();
    // An entry of the wrong kind or shape is logged and unusable.
    bool takeEntry(const Poco::JSON::Object::Ptr& entry);
    bool readEntry(const Poco::JSON::Object::Ptr& entry);
    // Every link's target, followed through the depot's other links, stays inside
    // the install directory within a bounded chain; logs the first that does not.
    bool linksStayInside() const;

    std::vector<RemoteFileDefinition::Ptr> m_files;
    std::vector<RemoteDirDefinition::Ptr> m_directories;
    std::vector<RemoteSymLinkDefinition::Ptr> m_symLinks;
    std::string m_manifestName;
};

}  // namespace VantisClient
