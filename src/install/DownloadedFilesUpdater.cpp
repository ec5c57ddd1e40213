#include "install/DownloadedFilesUpdater.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <Poco/DirectoryIterator.h>
#include <Poco/Exception.h>

#include "common/Logger.h"
#include "common/Utilities.h"
#include "install/FileSystem.h"
#include "install/InstallPathGuard.h"
#include "install/RunningGameDetector.h"

namespace VantisClient {

namespace {

using LastComponent = InstallPathGuard::LastComponent;

Poco::Optional<EInstallResult> diskAccessErrorIf(bool failed) {
    if (failed) return EInstallResult::DiskAccessError;
    return Poco::Optional<EInstallResult>();
}

// A directory with anything in it may hold the user's own files (saves,
// settings); a file of the manifest does not take its place. One that cannot
// be read is taken as not empty.
bool isNonEmptyDirectory(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return false;
    try {
        return Poco::DirectoryIterator(path) != Poco::DirectoryIterator();
    } catch (const Poco::Exception&) {
        return true;
    }
}

}  // namespace

DownloadedFilesUpdater::DownloadedFilesUpdater(const ProductInfo::Ptr& product,
                                               ProductFilesSynchronizerCallbackInterface& callback)
    : m_product(product), m_callback(callback) {}

bool DownloadedFilesUpdater::update() {
    using Step = Poco::Optional<EInstallResult> (DownloadedFilesUpdater::*)();
    for (Step step :
         {&DownloadedFilesUpdater::createDirectoriesForProductInfo, &DownloadedFilesUpdater::moveFilesForProductInfo,
          &DownloadedFilesUpdater::deleteFilesForProductInfo, &DownloadedFilesUpdater::createSymbolicLinks}) {
        m_result = (this->*step)();
        if (m_result.isSpecified()) return false;
    }
    return true;
}

const std::string& DownloadedFilesUpdater::rootFor(bool support) const {
    return support ? m_product->getSupportPath() : m_product->getLocalPath();
}

const std::string& DownloadedFilesUpdater::rootFor(FileType type) const { return rootFor(type == FileType::Support); }

Poco::Optional<EInstallResult> DownloadedFilesUpdater::createDirectoriesForProductInfo() {
    bool failed = false;
    std::vector<DirInfo> done;
    for (DirInfo entry : m_product->getDirectories()) {
        if (entry.state != DirInfo::Pending) continue;
        if (processDirectory(entry)) {
            done.push_back(entry);
        } else {
            failed = true;
        }
    }
    for (DirInfo& entry : done) {
        entry.state = DirInfo::Created;
        m_product->setDirInfo(entry.definition->getPath(), entry);
    }
    return diskAccessErrorIf(failed);
}

bool DownloadedFilesUpdater::processDirectory(DirInfo& entry) {
    const bool support = entry.definition->isSupport();
    const std::string& relative = entry.definition->getPath();
    if (support) {
        Logger::LogInfo("Creating directory %s in support folder.", relative.c_str());
    } else {
        Logger::LogInfo("Creating directory %s in library folder.", relative.c_str());
    }
    const std::string& root = rootFor(support);
    const std::string path = Utilities::AppendPath(root, relative);
    const bool inside = InstallPathGuard::isInside(root, path, LastComponent::MustNotBeLink);
    if (entry.deleteFlag) {
        if (inside && FileSystem::deleteDir(path, true)) {
            entry.deleteFlag = false;
            return true;
        }
        Logger::LogError("Failed to delete directory %s.", path.c_str());
        return false;
    }
    if (inside && FileSystem::createDir(path)) return true;
    Logger::LogError("Failed to create directory %s.", path.c_str());
    return false;
}

Poco::Optional<EInstallResult> DownloadedFilesUpdater::moveFilesForProductInfo() {
    std::vector<MovedFile> moves;
    bool anyMoveFailed = !planMoves(moves);
    if (isGameInSession(moves)) return EInstallResult::GameInSession;
    // Destroyed at the end of the step: whatever it still holds is given back.
    FileLocker locker;
    if (!lockInstallPaths(moves, locker)) return EInstallResult::GameInSession;
    m_product->setProductState(EProductState::UpdatingUnplayable, true);
    if (!m_callback.serializeProductInfoToIndex()) {
        Logger::LogWarning("Could not write the index entry of product %s.", m_product->getGameId().c_str());
    }
    for (const MovedFile& move : moves) anyMoveFailed = !placeFile(move, locker) || anyMoveFailed;
    return finishDownloads(anyMoveFailed);
}

bool DownloadedFilesUpdater::planMoves(std::vector<MovedFile>& moves) {
    bool allMovable = true;
    for (const auto& entry : m_product->getFiles().getDownloadingFiles()) {
        MovedFile move(entry.second, m_product->getPathForInstallation(entry.second->getFileInfo()));
        if (isMovable(move)) {
            moves.push_back(move);
        } else {
            allMovable = false;
        }
    }
    return allMovable;
}

bool DownloadedFilesUpdater::isMovable(const MovedFile& move) {
    const std::string& from = move.getDownloadPath();
    const std::string& to = move.getInstallPath();
    if (InstallPathGuard::isInside(m_product->getDownloadsPath(), from, LastComponent::MustNotBeLink) &&
        InstallPathGuard::isInside(rootFor(move.getFileInfo().getType()), to, LastComponent::MayBeLink)) {
        if (!isNonEmptyDirectory(to)) return true;
        Logger::LogError("Not replacing the directory %s: it is not empty.", to.c_str());
    }
    Logger::LogError("Failed to move file %s to %s!", from.c_str(), to.c_str());
    return false;
}

bool DownloadedFilesUpdater::isGameInSession(const std::vector<MovedFile>& moves) {
    std::vector<std::string> roots;
    for (const MovedFile& move : moves) {
        const std::string& root = rootFor(move.getFileInfo().getType());
        if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
    }
    RunningGameDetector::Use use;
    if (!RunningGameDetector(roots).findUse(use)) return false;
    Logger::LogError("Process %s uses %s: game %s is in session, so none of its files is replaced.",
                     use.processId.c_str(), use.file.c_str(), m_product->getGameId().c_str());
    return true;
}

bool DownloadedFilesUpdater::lockInstallPaths(const std::vector<MovedFile>& moves, FileLocker& locker) {
    std::vector<std::string> paths;
    for (const MovedFile& move : moves) paths.push_back(move.getInstallPath());
    if (locker.performLock(paths)) return true;
    Logger::LogError("Failed locking file %s", locker.getFailedFile().c_str());
    return false;
}

bool DownloadedFilesUpdater::placeFile(const MovedFile& move, FileLocker& locker) {
    const std::string& from = move.getDownloadPath();
    const std::string& to = move.getInstallPath();
    if (!locker.releaseLock(to)) {
        Logger::LogInfo("Failed to release lock for file %s.", to.c_str());
        return false;
    }
    // Checked again: earlier moves may have taken long enough for the
    // directories to change.
    if (!isMovable(move)) return false;
    if (!FileSystem::moveFile(from, to)) {
        Logger::LogError("Failed to move file %s to %s!", from.c_str(), to.c_str());
        return false;
    }
    Logger::LogInfo("Moved file %s to %s", from.c_str(), to.c_str());
    recordPlaced(move);
    applyHiddenFlag(move);
    return true;
}

void DownloadedFilesUpdater::recordPlaced(const MovedFile& move) {
    ProductFiles& files = m_product->getFiles();
    files.insertOrUpdateInstalledFileInfo(move.getInstalled());
    if (!m_callback.serializeFileState(move.getInstalled())) {
        Logger::LogWarning("Could not write the record of the installed file %s.", move.getInstallPath().c_str());
    }
    files.getDownloadingFiles().erase(move.getFileInfo().getPath());
}

void DownloadedFilesUpdater::applyHiddenFlag(const MovedFile& move) {
    const RemoteFileDefinition::Ptr& definition = move.getDownload()->getRemoteDefinition();
    if (definition.isNull() || !definition->isHidden()) return;
    const std::string& path = move.getInstallPath();
    if (FileSystem::setHidden(path)) {
        Logger::LogInfo("Set hidden attribute for file %s.", path.c_str());
    } else {
        Logger::LogWarning("Failed to set hidden attribute for file %s. Continuing... ", path.c_str());
    }
}

Poco::Optional<EInstallResult> DownloadedFilesUpdater::finishDownloads(bool anyMoveFailed) {
    const std::string& downloads = m_product->getDownloadsPath();
    if (anyMoveFailed) {
        Logger::LogError(
            "Keeping the downloads directory %s: the files that could not be moved stay there, "
            "verified, for the next update.",
            downloads.c_str());
        return EInstallResult::DiskAccessError;
    }
    if (Utilities::DeleteFileOrDirectory(downloads)) return Poco::Optional<EInstallResult>();
    Logger::LogError("Could not delete directory %s", downloads.c_str());
    return EInstallResult::DiskAccessError;
}

Poco::Optional<EInstallResult> DownloadedFilesUpdater::deleteFilesForProductInfo() {
    ProductFiles& files = m_product->getFiles();
    std::vector<InstalledFileInfo::Ptr> stale;
    for (const auto& entry : files.getInstalledFiles()) {
        if (files.getRemoteFiles().find(entry.first) == files.getRemoteFiles().end()) stale.push_back(entry.second);
    }
    for (const InstalledFileInfo::Ptr& file : stale) {
        if (!deleteStaleFile(file)) return EInstallResult::DiskAccessError;
        files.getInstalledFiles().erase(file->getFileInfo().getPath());
    }
    return Poco::Optional<EInstallResult>();
}

bool DownloadedFilesUpdater::deleteStaleFile(const InstalledFileInfo::Ptr& file) {
    const std::string& path = file->getFullPath();
    Logger::LogInfo("Deleting installed file %s, since it does not exist in remote product definition", path.c_str());
    if (InstallPathGuard::isInside(rootFor(file->getFileInfo().getType()), path, LastComponent::MayBeLink) &&
        FileSystem::deleteFile(path)) {
        return true;
    }
    Logger::LogError("Failed to delete file %s for game %s", path.c_str(), m_product->getGameId().c_str());
    return false;
}

Poco::Optional<EInstallResult> DownloadedFilesUpdater::createSymbolicLinks() {
    bool failed = false;
    SymLinkFiles& links = m_product->getSymLinks();
    const SymLinkFiles::InstalledSymLinks installed = links.getInstalledSymLinks();
    for (const auto& entry : installed) failed = !removeInstalledLink(entry.second) || failed;
    for (const auto& entry : links.getRemoteSymLinks()) failed = !createLink(entry.second) || failed;
    return diskAccessErrorIf(failed);
}

bool DownloadedFilesUpdater::removeInstalledLink(const InstalledSymLinkInfo::Ptr& link) {
    const std::string& relative = link->getFullPath();
    const std::string& root = m_product->getLocalPath();
    const std::string path = Utilities::AppendPath(root, relative);
    struct stat status {};
    // An empty path would name the install directory itself: only the record goes.
    if (relative.empty() || ::lstat(path.c_str(), &status) != 0) {
        Logger::LogWarning("Link %s missing or has invalid path stored.", relative.c_str());
    }
    // A record whose link cannot be removed stays, so that a later update tries again.
    if (!relative.empty() && (!InstallPathGuard::isInside(root, path, LastComponent::MayBeLink) ||
                              !Utilities::DeleteFileOrDirectory(path))) {
        return false;
    }
    m_product->getSymLinks().removeInstalledSymLinkInfo(relative);
    return true;
}

bool DownloadedFilesUpdater::createLink(const RemoteSymLinkDefinition::Ptr& definition) {
    const std::string& relative = definition->getPath();
    const std::string& target = definition->getTarget();
    if (relative.empty()) {
        Logger::LogWarning("Skipping the link to %s with an empty path: it would take the install directory's place.",
                           target.c_str());
        return true;
    }
    const std::string& root = m_product->getLocalPath();
    const std::string path = Utilities::AppendPath(root, relative);
    bool created =
        InstallPathGuard::isInside(root, path, LastComponent::MayBeLink) && Utilities::DeleteFileOrDirectory(path);
    if (created && ::symlink(target.c_str(), path.c_str()) != 0) {
        Logger::LogError("Could not create symbolic link %s: %s", path.c_str(), std::strerror(errno));
        created = false;
    }
    if (!created) Logger::LogError("Failed to create symbolic link %s to %s.", path.c_str(), target.c_str());
    m_product->getSymLinks().addInstalledSymLinkInfo(
        new InstalledSymLinkInfo(relative, target, definition->getSymlinkType()));
    return created;
}

}  // namespace VantisClient
