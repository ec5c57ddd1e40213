// The local record of one product as it stands on this machine: where it is
// installed, its files, directories, links, redistributables and installer
// commands, what its info files say, and its state. The engine keeps a list of
// them; storage persists them; the install pipeline fills and consumes them.
// Thread-safety: none of its own; whoever holds the engine's product list
// guards it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <Poco/SharedPtr.h>

#include "model/DirInfo.h"
#include "model/EProductState.h"
#include "model/FileInformation.h"
#include "model/MiniManifestContents.h"
#include "model/ProductDefinitionBase.h"
#include "model/ProductFiles.h"
#include "model/ProductIdentification.h"
#include "model/ProductPresentationData.h"
#include "model/RedistInfo.h"
#include "model/SymLinkFiles.h"

namespace VantisClient {

class RemoteProductDefinition;

class ProductInfo : public ProductDefinitionBase {
public:
    using Ptr = Poco::SharedPtr<ProductInfo>;

    enum EProductUpToDateState : int32_t { UpToDate = 0, UpdateNeeded = 1, CheckFailed = 2 };
    // Bits of the loaded-data mask.
    enum EDataSection : uint32_t { IndexSection = 1, ProductDBSection = 2 };

    ProductInfo() = default;

    // A ProductInfo is stored only through the databases, never as JSON.
    void serialize(json& document) override;

    const std::string& getLocalPath() const { return m_localPath; }
    const std::string& getDownloadsPath() const { return m_downloadsPath; }
    const std::string& getSupportPath() const { return m_supportPath; }
    // These store the path with '/' separators.
    void setLocalPath(const std::string& path);
    void setDownloadsPath(const std::string& path);
    void setSupportPath(const std::string& path);
    // The paths exactly as the index stored them.
    void assignStoredPaths(const std::string& localPath, const std::string& downloadsPath,
                           const std::string& supportPath);

    // Where the file lives on disk, by its kind; "" for an unknown kind.
    std::string getPathForInstallation(const FileInformation& file) const;

    ProductFiles& getFiles() { return m_files; }
    const ProductFiles& getFiles() const { return m_files; }
    SymLinkFiles& getSymLinks() { return m_symLinks; }
    const SymLinkFiles& getSymLinks() const { return m_symLinks; }

    std::vector<DirInfo>::iterator dir_begin() { return m_directories.begin(); }
    std::vector<DirInfo>::iterator dir_end() { return m_directories.end(); }
    std::vector<DirInfo>& getDirectories() { return m_directories; }
    const std::vector<DirInfo>& getDirectories() const { return m_directories; }
    // Replaces the first entry whose definition has `path`, in place, or appends
    // the entry. An entry without a definition throws Poco::NullPointerException,
    // here and in removeDirInfo.
    void setDirInfo(const std::string& path, const DirInfo& entry);
    void removeDirInfo(const std::string& path);

    std::vector<RedistInfo>::iterator redist_begin() { return m_redistributables.begin(); }
    std::vector<RedistInfo>::iterator redist_end() { return m_redistributables.end(); }
    std::vector<RedistInfo>& getRedistributables() { return m_redistributables; }

    void clearLocalSupportList();
    // Records a support command as run.
    void onInstallerExecuted(const RemoteSupportInfo& command);

    // Takes the language, revision list, manifest timestamp and available game
    // ids of a newly installed definition; nothing else.
    void applyRemoteDefinition(const RemoteProductDefinition& remote);

    // The install or update started and not finished yet; empty when none.
    const Poco::SharedPtr<ProductIdentification>& getTargetIdentification() const { return m_targetIdentification; }
    void setTargetIdentification(const Poco::SharedPtr<ProductIdentification>& target) {
        m_targetIdentification = target;
    }

    const MiniManifestContents& getMiniManifestContents() const { return m_miniManifestContents; }
    // Copies the contents; their non-empty language and game ids also become the
    // product's. An empty pointer throws Poco::NullPointerException.
    void setMiniManifestContents(const Poco::SharedPtr<MiniManifestContents>& contents);

    EProductState getProductState() const { return m_productState; }
    // With `log`, a change is logged with the states' names.
    void setProductState(EProductState state, bool log);
    EProductUpToDateState getUpToDateState() const { return m_upToDateState; }
    void setUpToDateState(EProductUpToDateState state) { m_upToDateState = state; }
    uint32_t getLoadedData() const { return m_loadedData; }
    void markSection(EDataSection section) { m_loadedData |= section; }

    // Adds the fraction of parts done over the downloading files to `progress`
    // (callers pass 0) and sets `totalBytes` to their remote size.
    void getSyncProgress(float& progress, uint64_t& totalBytes) const;

    ProductPresentationData::Ptr constructProductPresentationData() const;

private:
    std::string m_localPath;
    std::string m_downloadsPath;
    std::string m_supportPath;
    ProductFiles m_files;
    SymLinkFiles m_symLinks;
    std::vector<DirInfo> m_directories;
    std::vector<RedistInfo> m_redistributables;
    Poco::SharedPtr<ProductIdentification> m_targetIdentification;
    EProductUpToDateState m_upToDateState = UpToDate;
    uint32_t m_loadedData = 0;
    MiniManifestContents m_miniManifestContents;
    EProductState m_productState = EProductState::None;
};

}  // namespace VantisClient
