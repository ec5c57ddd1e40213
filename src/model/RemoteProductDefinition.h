// A product manifest as fetched from the backend: the product-level fields, its
// depots and redistributables and, once the depots for an install are chosen,
// the files, directories and links of those depots.
// Thread-safety: none; used by one install task at a time.
#pragma once

#include <string>
#include <vector>

#include "model/DepotData.h"
#include "model/ProductDefinitionBase.h"
#include "model/RemoteDirDefinition.h"
#include "model/RemoteFileDefinition.h"
#include "model/RemoteRedistInfo.h"
#include "model/RemoteSymLinkDefinition.h"

namespace VantisClient {

class RemoteProductDefinition : public ProductDefinitionBase {
public:
    RemoteProductDefinition() = default;
    RemoteProductDefinition(const std::string& gameId, const tRevisionList& revisions, const std::string& language,
                            bool flag);

    // The product-level reading, then the "depots" list. A redistributable whose
    // target directory would leave the install directory fails the reading; a
    // target directory with leading separators is kept without them, below the
    // install directory.
    bool deserializeFromVersion(const json& document, uint64_t version) override;

    // The product has installer commands to run.
    bool getNeedsWindowsInstallation() const;
    bool getFlag() const { return m_flag; }

    std::vector<RemoteFileDefinition::Ptr>& getRemoteFiles() { return m_remoteFiles; }
    std::vector<RemoteDirDefinition::Ptr>& getRemoteDirectories() { return m_remoteDirectories; }
    std::vector<RemoteSymLinkDefinition::Ptr>& getRemoteSymLinks() { return m_remoteSymLinks; }
    const std::vector<RemoteRedistInfo>& getRedistributables() const { return m_redistributables; }
    const std::vector<DepotData>& getDepots() const { return m_depots; }

private:
    bool readRedistributable(const Poco::JSON::Object::Ptr& entry);

    bool m_flag = false;
    std::vector<RemoteFileDefinition::Ptr> m_remoteFiles;
    std::vector<RemoteDirDefinition::Ptr> m_remoteDirectories;
    std::vector<RemoteSymLinkDefinition::Ptr> m_remoteSymLinks;
    std::vector<RemoteRedistInfo> m_redistributables;
    std::vector<DepotData> m_depots;
};

}  // namespace VantisClient
