#include "model/ProductInfo.h"

#include <algorithm>

#include <Poco/Exception.h>

#include "common/Logger.h"
#include "common/Utilities.h"
#include "model/RemoteProductDefinition.h"

namespace VantisClient {

namespace {

const RemoteDirDefinition& requireDefinition(const DirInfo& entry) {
    if (entry.definition.isNull()) throw Poco::NullPointerException("directory entry without definition");
    return *entry.definition;
}

}  // namespace

void ProductInfo::serialize(json&) {}

void ProductInfo::setLocalPath(const std::string& path) { m_localPath = Utilities::NormalizePath(path); }

void ProductInfo::setDownloadsPath(const std::string& path) { m_downloadsPath = Utilities::NormalizePath(path); }

void ProductInfo::setSupportPath(const std::string& path) { m_supportPath = Utilities::NormalizePath(path); }

void ProductInfo::assignStoredPaths(const std::string& localPath, const std::string& downloadsPath,
                                    const std::string& supportPath) {
    m_localPath = localPath;
    m_downloadsPath = downloadsPath;
    m_supportPath = supportPath;
}

std::string ProductInfo::getPathForInstallation(const FileInformation& file) const {
    switch (file.getType()) {
        case FileType::Game:
        case FileType::Redistributable:
        case FileType::Other: return Utilities::AppendPath(m_localPath, file.getPath());
        case FileType::Support: return Utilities::AppendPath(m_supportPath, file.getPath());
    }
    return "";
}

void ProductInfo::setDirInfo(const std::string& path, const DirInfo& entry) {
    requireDefinition(entry);
    for (DirInfo& existing : m_directories) {
        if (requireDefinition(existing).getPath() == path) {
            existing = entry;
            return;
        }
    }
    m_directories.push_back(entry);
}

void ProductInfo::removeDirInfo(const std::string& path) {
    auto found = std::find_if(m_directories.begin(), m_directories.end(),
                              [&path](const DirInfo& entry) { return requireDefinition(entry).getPath() == path; });
    if (found != m_directories.end()) m_directories.erase(found);
}

void ProductInfo::clearLocalSupportList() { m_supportCommands.clear(); }

void ProductInfo::onInstallerExecuted(const RemoteSupportInfo& command) { m_supportCommands.push_back(command); }

void ProductInfo::applyRemoteDefinition(const RemoteProductDefinition& remote) {
    m_language = remote.getLanguage();
    m_revisionList = remote.getRevisionList();
    m_manifestTimestamp = remote.getManifestTimestamp();
    m_availableGameIDs = remote.getAvailableGameIDs();
}

void ProductInfo::setMiniManifestContents(const Poco::SharedPtr<MiniManifestContents>& contents) {
    if (contents.isNull()) throw Poco::NullPointerException("info-file contents");
    m_miniManifestContents = *contents;
    // What the info files leave out never clears what the product knows.
    if (!contents->language.empty()) m_language = contents->language;
    if (!contents->installedGameIds.empty()) m_revisionList = contents->installedGameIds;
}

void ProductInfo::setProductState(EProductState state, bool log) {
    if (log && state != m_productState) {
        Logger::LogInfo("Product %s state changed from '%s' to '%s'", m_gameId.c_str(),
                        GetProductStateName(m_productState), GetProductStateName(state));
    }
    m_productState = state;
}

void ProductInfo::getSyncProgress(float& progress, uint64_t& totalBytes) const {
    totalBytes = 0;
    uint32_t totalParts = 0;
    for (const auto& entry : m_files.getDownloadingFiles()) {
        const DownloadingFileInfo& file = *entry.second;
        uint16_t parts = file.getParts().getPartsCount();
        switch (file.getState()) {
            case DownloadingFileInfo::Hashing:
            case DownloadingFileInfo::Verified: progress += parts; break;
            case DownloadingFileInfo::Downloading: progress += file.getParts().getMarkedPartsCount(); break;
            default: break;
        }
        totalParts += parts;
        if (!file.getRemoteDefinition().isNull()) totalBytes += file.getRemoteDefinition()->getSize();
    }
    progress = totalParts != 0 ? progress / static_cast<float>(totalParts) : 0.0f;
}

ProductPresentationData::Ptr ProductInfo::constructProductPresentationData() const {
    Poco::SharedPtr<ProductIdentification> identification = getProductIdentification();
    return new ProductPresentationData(*identification, m_miniManifestContents, m_productState, m_availableLanguages,
                                       m_availableGameIDs);
}

}  // namespace VantisClient
