// Brings the files of one installed product in line with a remote definition
// whose depots are already selected: merges the definition into the product
// record, then scans the installed files, downloads what is missing or
// changed, and moves the downloads into place. The install task calls the
// phases in that order on its thread; abort() may come from any other thread.
// Thread-safety: the phases run on the install thread only; abort() is safe
// from any thread at any time.
#pragma once

#include <Poco/Optional.h>
#include <Poco/SharedPtr.h>

#include "common/AbortSignal.h"
#include "common/EngineSettings.h"
#include "install/EInstallResult.h"
#include "install/FileSystem.h"
#include "install/InstalledFilesScanner.h"
#include "install/ProductFilesDownloader.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "model/ProductInfo.h"
#include "model/RemoteProductDefinition.h"

namespace VantisClient {

class ProductFilesSynchronizer {
public:
    using Result = Poco::Optional<EInstallResult>;

    // The download runs as `settings` say; every file operation of the download
    // and the update goes through `fileSystem`, which outlives the synchronizer.
    ProductFilesSynchronizer(const ProductInfo::Ptr& product, ProductFilesSynchronizerCallbackInterface& callback,
                             const AbortSignal::Ptr& abortSignal, const EngineSettings& settings,
                             FileSystem& fileSystem = FileSystem::Default());
    ProductFilesSynchronizer(const ProductFilesSynchronizer&) = delete;
    ProductFilesSynchronizer& operator=(const ProductFilesSynchronizer&) = delete;

    // Adds the definition's files, links, directories and redistributables to
    // the product record; directories it no longer lists are marked for removal.
    void integrateProductWithRemoteDefinition(RemoteProductDefinition& remote);
    // With `hashEveryFile`, also the files whose hash is recorded are read again.
    void scanInstalledFiles(bool hashEveryFile = false);
    // Unset when every needed file lies verified in the downloads directory.
    Result download();
    // Unset when the downloads were moved into place and stale files removed.
    Result performUpdate();
    void abort();

private:
    void integrateDirectories(RemoteProductDefinition& remote);
    void integrateRedistributables(const RemoteProductDefinition& remote);
    Result failedStep(const char* step);
    void makeDownloadedExecutablesExecutable();

    InstalledFilesScanner m_scanner;
    ProductFilesDownloader m_downloader;
    ProductInfo::Ptr m_product;
    ProductFilesSynchronizerCallbackInterface& m_callback;
    AbortSignal::Ptr m_abortSignal;
    FileSystem& m_fileSystem;
};

}  // namespace VantisClient
