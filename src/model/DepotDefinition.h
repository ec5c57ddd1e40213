// One depot manifest as fetched from the backend: its files, directories and
// symbolic links in manifest order. Any unusable entry fails the whole depot,
// and so does a link whose target leaves the install directory through the
// depot's other links.
// A copy shares the entries but not the manifest name (see the copy operations).
// Thread-safety: none; used by one install task at a time.
#pragma once

#include <string>
#include <vector>

#include <Poco/SharedPtr.h>

#include "model/RemoteDirDefinition.h"
#include "model/RemoteFileDefinition.h"
#include "model/RemoteSymLinkDefinition.h"
#include "common/json/ISerializable.h"

namespace VantisClient {

class DepotDefinition : public ISerializable {
public:
    using Ptr = Poco::SharedPtr<DepotDefinition>;

    explicit DepotDefinition(const std::string& manifestName);
    // Copies the three lists; the copy's manifest name is empty.
    DepotDefinition(const DepotDefinition& other);
    // Copies the three lists; the target keeps its own manifest name.
    DepotDefinition& operator=(const DepotDefinition& other);

    uint64_t getCurrentVersion() override;
    // Definitions are read, never written: calling this ends the process.
    void serialize(json& document) override;
    bool deserializeFromVersion(const json& document, uint64_t version) override;

    std::vector<RemoteFileDefinition::Ptr>& getFiles() { return m_files; }
    const std::vector<RemoteFileDefinition::Ptr>& getFiles() const { return m_files; }
    const std::vector<RemoteDirDefinition::Ptr>& getDirectories() const { return m_directories; }
    const std::vector<RemoteSymLinkDefinition::Ptr>& getSymLinks() const { return m_symLinks; }
    const std::string& getManifestName() const { return m_manifestName; }

private:
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
