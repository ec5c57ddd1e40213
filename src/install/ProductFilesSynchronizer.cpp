#include "install/ProductFilesSynchronizer.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "common/FileDescriptor.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "install/DownloadedFilesUpdater.h"
#include "install/InstallPathGuard.h"

namespace VantisClient {

ProductFilesSynchronizer::ProductFilesSynchronizer(const ProductInfo::Ptr& product,
                                                   ProductFilesSynchronizerCallbackInterface& callback,
                                                   const AbortSignal::Ptr& abortSignal,
                                                   const EngineSettings& settings, FileSystem& fileSystem)
    : m_scanner(product, callback, abortSignal),
      m_downloader(product, callback, abortSignal, settings, fileSystem),
      m_product(product),
      m_callback(callback),
      m_abortSignal(abortSignal),
      m_fileSystem(fileSystem) {}

void ProductFilesSynchronizer::integrateProductWithRemoteDefinition(RemoteProductDefinition& remote) {
    for (const RemoteFileDefinition::Ptr& file : remote.getRemoteFiles()) m_product->getFiles().addRemoteFileInfo(file);
    for (const RemoteSymLinkDefinition::Ptr& link : remote.getRemoteSymLinks()) {
        m_product->getSymLinks().addRemoteSymLinkInfo(link);
    }
    integrateDirectories(remote);
    integrateRedistributables(remote);
}

void ProductFilesSynchronizer::integrateDirectories(RemoteProductDefinition& remote) {
    std::vector<DirInfo>& directories = m_product->getDirectories();
    for (DirInfo& directory : directories) directory.deleteFlag = true;
    for (const RemoteDirDefinition::Ptr& definition : remote.getRemoteDirectories()) {
        auto known = std::find_if(directories.begin(), directories.end(), [&](const DirInfo& directory) {
            return directory.definition->getPath() == definition->getPath();
        });
        if (known != directories.end()) {
            known->deleteFlag = false;
            known->definition = definition;
            continue;
        }
        directories.emplace_back(definition, DirInfo::Pending,
                                 Utilities::AppendPath(m_product->getLocalPath(), definition->getPath()));
    }
}

void ProductFilesSynchronizer::integrateRedistributables(const RemoteProductDefinition& remote) {
    std::vector<RedistInfo>& recorded = m_product->getRedistributables();
    for (const RemoteRedistInfo& redist : remote.getRedistributables()) {
        bool present = std::any_of(recorded.begin(), recorded.end(), [&](const RedistInfo& entry) {
            return entry.executable == redist.executable && entry.argument == redist.argument;
        });
        if (!present) recorded.emplace_back(redist.executable, redist.argument, false);
    }
}

void ProductFilesSynchronizer::scanInstalledFiles(bool hashEveryFile) {
    m_callback.postNotification_StatusCode(EInstallStatusCode::ScanningInstalledFiles);
    m_scanner.scan(hashEveryFile);
}

ProductFilesSynchronizer::Result ProductFilesSynchronizer::download() {
    if (m_abortSignal->isRaised()) return EInstallResult::Aborted;
    m_callback.postNotification_StatusCode(EInstallStatusCode::ScanningDownloads);
    m_downloader.scanDownloadedFiles();
    m_downloader.chooseFilesNeededForUpdate();
    m_callback.serializeProductInfo();
    m_callback.postNotification_StatusCode(EInstallStatusCode::AllocatingDiskSpace);
    if (!m_downloader.allocateDiskSpace()) return failedStep("allocateDiskSpace");
    m_callback.postNotification_StatusCode(EInstallStatusCode::Downloading);
    if (!m_downloader.downloadNeededFiles()) return failedStep("downloadNeededFiles");
    m_callback.serializeProductInfo();
    makeDownloadedExecutablesExecutable();
    return Result();
}

// A result still unset here belongs to an abort that has raised the signal but
// not yet recorded itself.
ProductFilesSynchronizer::Result ProductFilesSynchronizer::failedStep(const char* step) {
    const EInstallResult result = m_downloader.getInstallResult().value(EInstallResult::Aborted);
    Logger::LogError("Error during %s(). Install result: %d", step, static_cast<int>(result));
    return result;
}

namespace {

// Through a descriptor opened without following a link, so that a link put in
// the download's place never hands the change to another file.
bool addExecuteBits(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    return file.isOpen() && ::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::fchmod(file.get(), (status.st_mode & 07777) | 0111) == 0;
}

}  // namespace

// Execute bits are added to what the file has; a game file is never made
// writable by everybody.
void ProductFilesSynchronizer::makeDownloadedExecutablesExecutable() {
    for (const auto& entry : m_product->getFiles().getDownloadingFiles()) {
        const DownloadingFileInfo::Ptr& file = entry.second;
        if (!file->getRemoteDefinition() || !file->getRemoteDefinition()->isExecutable()) continue;
        const std::string& path = file->getFullPath();
        if (!InstallPathGuard::isInside(m_product->getDownloadsPath(), path,
                                        InstallPathGuard::LastComponent::MustNotBeLink) ||
            !addExecuteBits(path)) {
            Logger::LogWarning("Change file %s permissions to executable failed!", path.c_str());
        }
    }
}

ProductFilesSynchronizer::Result ProductFilesSynchronizer::performUpdate() {
    DownloadedFilesUpdater updater(m_product, m_callback, m_fileSystem);
    if (updater.update()) return Result();
    return updater.getInstallResult();
}

void ProductFilesSynchronizer::abort() {
    m_abortSignal->raise();
    m_scanner.abort();
    m_downloader.abort();
}

}  // namespace VantisClient
