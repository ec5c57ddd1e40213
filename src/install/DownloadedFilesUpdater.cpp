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

bool existsNoFollow(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// What stands where a link of the product goes. Only a link and an empty
// directory make room: anything else may hold the user's own files.
enum class LinkPlace { Free, Kept, Failed };

LinkPlace clearLinkPlace(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return errno == ENOENT ? LinkPlace::Free : LinkPlace::Failed;
    if (S_ISLNK(status.st_mode)) return ::unlink(path.c_str()) == 0 ? LinkPlace::Free : LinkPlace::Failed;
    if (!S_ISDIR(status.st_mode)) return LinkPlace::Kept;
    if (::rmdir(path.c_str()) == 0) return LinkPlace::Free;
    return errno == ENOTEMPTY || errno == EEXIST ? LinkPlace::Kept : LinkPlace::Failed;
}

bool pointsTo(const std::string& path, const std::string& target) {
    std::string content(target.size() + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), &content[0], content.size());
    return length >= 0 && static_cast<size_t>(length) == target.size() && content.compare(0, target.size(), target) == 0;
}

}  // namespace

DownloadedFilesUpdater::DownloadedFilesUpdater(const ProductInfo::Ptr& product,
                                               ProductFilesSynchronizerCallbackInterface& callback,
                                               FileSystem& fileSystem)
    : m_product(product), m_callback(callback), m_fileSystem(fileSystem) {}

bool DownloadedFilesUpdater::update() {
    using Step = Poco::Optional<EInstallResult> (DownloadedFilesUpdater::*)();
    for (Step step :
         {&DownloadedFilesUpdater::createDirectoriesForProductInfo, &DownloadedFilesUpdater::moveFilesForProductInfo,
          &DownloadedFilesUpdater::deleteFilesForProductInfo, &DownloadedFilesUpdater::createSymbolicLinks}) {
        m_result = (this->*step)();
        if (m_result.isSpecified()) {
            keepMovedGamePlayable();
            return false;
        }
    }
    return true;
}

// Once every download is in place the game plays; a deletion or a link that
// failed after that leaves an update to resume, not an unplayable game.
void DownloadedFilesUpdater::keepMovedGamePlayable() {
    if (m_product->getProductState() != EProductState::UpdatingUnplayable ||
        !m_product->getFiles().getDownloadingFiles().empty()) {
        return;
    }
    m_product->setProductState(EProductState::Updating, true);
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
        // A directory that is already gone has been removed.
        if (inside && (!existsNoFollow(path) || m_fileSystem.deleteDir(path, true))) {
            entry.deleteFlag = false;
            return true;
        }
        Logger::LogError("Failed to delete directory %s.", path.c_str());
        return false;
    }
    if (inside && m_fileSystem.createDir(path)) return true;
    Logger::LogError("Failed to create directory %s.", path.c_str());
    return false;
}

Poco::Optional<EInstallResult> DownloadedFilesUpdater::moveFilesForProductInfo() {
    std::vector<MovedFile> moves;
    // Everything the update will touch is checked before the first lock or
    // state change: a refusal halfway would leave the game half updated.
    if (!planMoves(moves) || !areDeletionsAllowed() || !areLinksAllowed()) {
        Logger::LogError("Nothing of game %s was moved: a path of the update was refused.",
                         m_product->getGameId().c_str());
        return EInstallResult::DiskAccessError;
    }
    if (isGameInSession(moves)) return EInstallResult::GameInSession;
    // Destroyed at the end of the step: whatever it still holds is given back.
    FileLocker locker;
    if (!lockInstallPaths(moves, locker)) return EInstallResult::GameInSession;
    m_product->setProductState(EProductState::UpdatingUnplayable, true);
    if (!m_callback.serializeProductInfoToIndex()) {
        Logger::LogWarning("Could not write the index entry of product %s.", m_product->getGameId().c_str());
    }
    bool anyMoveFailed = false;
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
    const std::string& root = rootFor(move.getFileInfo().getType());
    if (InstallPathGuard::isInside(m_product->getDownloadsPath(), from, LastComponent::MustNotBeLink) &&
        InstallPathGuard::isInside(root, to, LastComponent::MayBeLink) && isDownloadPresent(from) &&
        isPlaceFree(root, to)) {
        return true;
    }
    Logger::LogError("Failed to move file %s to %s!", from.c_str(), to.c_str());
    return false;
}

bool DownloadedFilesUpdater::isDownloadPresent(const std::string& from) {
    struct stat status {};
    if (::lstat(from.c_str(), &status) == 0 && S_ISREG(status.st_mode)) return true;
    Logger::LogError("Not moving %s: the verified download is no longer there.", from.c_str());
    return false;
}

// The directories the file needs must be directories already or missing: a
// file in their way would have to be deleted while the files are locked.
bool DownloadedFilesUpdater::isPlaceFree(const std::string& root, const std::string& to) {
    if (isNonEmptyDirectory(to)) {
        Logger::LogError("Not replacing the directory %s: it is not empty.", to.c_str());
        return false;
    }
    std::string base = root;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    for (size_t slash = to.rfind('/'); slash != std::string::npos && slash > base.size();
         slash = to.rfind('/', slash - 1)) {
        const std::string directory = to.substr(0, slash);
        struct stat status {};
        if (::lstat(directory.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
            Logger::LogError("Not moving a file to %s: %s is not a directory.", to.c_str(), directory.c_str());
            return false;
        }
    }
    return true;
}

bool DownloadedFilesUpdater::areDeletionsAllowed() {
    bool allowed = true;
    for (const InstalledFileInfo::Ptr& file : staleFiles()) {
        allowed = InstallPathGuard::isInside(rootFor(file->getFileInfo().getType()), file->getFullPath(),
                                             LastComponent::MayBeLink) &&
                  allowed;
    }
    return allowed;
}

bool DownloadedFilesUpdater::areLinksAllowed() {
    const std::string& root = m_product->getLocalPath();
    bool allowed = true;
    for (const auto& entry : m_product->getSymLinks().getRemoteSymLinks()) {
        if (entry.first.empty()) continue;
        allowed = InstallPathGuard::isInside(root, Utilities::AppendPath(root, entry.first), LastComponent::MayBeLink) &&
                  allowed;
    }
    return allowed;
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
    if (!m_fileSystem.moveFile(from, to)) {
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
    if (m_fileSystem.setHidden(path)) {
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

std::vector<InstalledFileInfo::Ptr> DownloadedFilesUpdater::staleFiles() const {
    const ProductFiles& files = m_product->getFiles();
    std::vector<InstalledFileInfo::Ptr> stale;
    for (const auto& entry : files.getInstalledFiles()) {
        if (files.getRemoteFiles().find(entry.first) == files.getRemoteFiles().end()) stale.push_back(entry.second);
    }
    return stale;
}

Poco::Optional<EInstallResult> DownloadedFilesUpdater::deleteFilesForProductInfo() {
    for (const InstalledFileInfo::Ptr& file : staleFiles()) {
        if (!deleteStaleFile(file)) return EInstallResult::DiskAccessError;
        m_product->getFiles().getInstalledFiles().erase(file->getFileInfo().getPath());
    }
    return Poco::Optional<EInstallResult>();
}

bool DownloadedFilesUpdater::deleteStaleFile(const InstalledFileInfo::Ptr& file) {
    const std::string& path = file->getFullPath();
    Logger::LogInfo("Deleting installed file %s, since it does not exist in remote product definition", path.c_str());
    if (InstallPathGuard::isInside(rootFor(file->getFileInfo().getType()), path, LastComponent::MayBeLink) &&
        m_fileSystem.deleteFile(path)) {
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
    const std::string relative = link->getFullPath();
    const std::string& root = m_product->getLocalPath();
    const std::string path = Utilities::AppendPath(root, relative);
    SymLinkFiles& links = m_product->getSymLinks();
    // An empty path would name the install directory itself: only the record goes.
    if (relative.empty() || !existsNoFollow(path)) {
        Logger::LogWarning("Link %s missing or has invalid path stored.", relative.c_str());
    } else if (links.getRemoteSymLinks().count(relative) == 0) {
        // A record whose link cannot be removed stays, so that a later update tries again.
        if (!InstallPathGuard::isInside(root, path, LastComponent::MayBeLink)) return false;
        const LinkPlace place = clearLinkPlace(path);
        if (place == LinkPlace::Failed) {
            Logger::LogError("Could not remove the link %s: %s", path.c_str(), std::strerror(errno));
            return false;
        }
        if (place == LinkPlace::Kept) {
            Logger::LogWarning("Keeping %s where the link %s was: it is no link and may hold the user's files.",
                               path.c_str(), relative.c_str());
        }
    }
    // A link the manifest still lists is left to createLink, which keeps it when it points where it should.
    links.removeInstalledSymLinkInfo(relative);
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
    bool created = InstallPathGuard::isInside(root, path, LastComponent::MayBeLink);
    if (created && !pointsTo(path, target)) {
        const LinkPlace place = clearLinkPlace(path);
        if (place == LinkPlace::Kept) {
            Logger::LogWarning("Not making the link %s to %s: what stands there is no link and may hold the user's "
                               "files; it is kept.",
                               path.c_str(), target.c_str());
            return true;
        }
        if (place == LinkPlace::Failed || ::symlink(target.c_str(), path.c_str()) != 0) {
            Logger::LogError("Could not create symbolic link %s: %s", path.c_str(), std::strerror(errno));
            created = false;
        }
    }
    if (!created) Logger::LogError("Failed to create symbolic link %s to %s.", path.c_str(), target.c_str());
    m_product->getSymLinks().addInstalledSymLinkInfo(
        new InstalledSymLinkInfo(relative, target, definition->getSymlinkType()));
    return created;
}

}  // namespace VantisClient
