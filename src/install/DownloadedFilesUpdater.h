// Turns a finished download into the installed game: creates (or removes) the
// product's directories, makes sure nobody uses the files about to be replaced
// and locks them, moves each verified download to its install path, deletes
// the installed files the manifest no longer lists, and makes the product's
// symbolic links. Nothing is created, moved, deleted or linked through a
// symbolic link or outside the product's directories, and a move that fails
// never costs the file it was to replace nor the download: the download and
// its verified record stay for the next run. Where a link goes, only a link or
// an empty directory is removed: a file or a directory with something in it
// may be the user's and stays.
// Thread-safety: none; one update() on the install thread, which alone touches
// the product's records while it runs.
#pragma once

#include <string>
#include <vector>

#include <Poco/Optional.h>

#include "common/FileLocker.h"
#include "install/EInstallResult.h"
#include "install/FileSystem.h"
#include "install/MovedFile.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "model/ProductInfo.h"

namespace VantisClient {

class DownloadedFilesUpdater {
public:
    // Every file operation goes through `fileSystem`, which outlives the updater.
    DownloadedFilesUpdater(const ProductInfo::Ptr& product, ProductFilesSynchronizerCallbackInterface& callback,
                           FileSystem& fileSystem = FileSystem::Default());
    DownloadedFilesUpdater(const DownloadedFilesUpdater&) = delete;
    DownloadedFilesUpdater& operator=(const DownloadedFilesUpdater&) = delete;

    // The four steps in order; stops at the first that fails. True when all
    // succeeded. A failure after every download was moved leaves the product
    // Updating rather than UpdatingUnplayable.
    bool update();
    // The failed step's result; unset while nothing failed.
    const Poco::Optional<EInstallResult>& getInstallResult() const { return m_result; }

    // Each step returns its failure, unset on success.
    // DiskAccessError after every pending directory was tried.
    Poco::Optional<EInstallResult> createDirectoriesForProductInfo();
    // DiskAccessError, with nothing changed, when any move, deletion or link
    // of the update is refused (a link in a path, a non-empty directory or a
    // file in the way, a download gone); GameInSession, also with nothing
    // changed, when the files are in use; DiskAccessError after every move was
    // tried.
    Poco::Optional<EInstallResult> moveFilesForProductInfo();
    // DiskAccessError at the first installed file that cannot be deleted.
    Poco::Optional<EInstallResult> deleteFilesForProductInfo();
    // DiskAccessError after every link was tried. A link that already points
    // where the manifest says is left alone.
    Poco::Optional<EInstallResult> createSymbolicLinks();

private:
    const std::string& rootFor(bool support) const;
    const std::string& rootFor(FileType type) const;

    bool processDirectory(DirInfo& entry);
    void keepMovedGamePlayable();

    // The moves that may go ahead; false when any was refused.
    bool planMoves(std::vector<MovedFile>& moves);
    bool isMovable(const MovedFile& move);
    static bool isDownloadPresent(const std::string& from);
    static bool isPlaceFree(const std::string& root, const std::string& to);
    bool areDeletionsAllowed();
    bool areLinksAllowed();
    bool isGameInSession(const std::vector<MovedFile>& moves);
    bool lockInstallPaths(const std::vector<MovedFile>& moves, FileLocker& locker);
    bool placeFile(const MovedFile& move, FileLocker& locker);
    void recordPlaced(const MovedFile& move);
    void applyHiddenFlag(const MovedFile& move);
    Poco::Optional<EInstallResult> finishDownloads(bool anyMoveFailed);

    std::vector<InstalledFileInfo::Ptr> staleFiles() const;
    bool deleteStaleFile(const InstalledFileInfo::Ptr& file);

    bool removeInstalledLink(const InstalledSymLinkInfo::Ptr& link);
    bool createLink(const RemoteSymLinkDefinition::Ptr& definition);

    ProductInfo::Ptr m_product;
    ProductFilesSynchronizerCallbackInterface& m_callback;
    FileSystem& m_fileSystem;
    Poco::Optional<EInstallResult> m_result;
};

}  // namespace VantisClient
