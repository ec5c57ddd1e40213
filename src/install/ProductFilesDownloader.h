// Gets every file a product needs into its downloads directory, complete and
// verified, before the files are moved into place. The synchronizer calls
// scanDownloadedFiles, chooseFilesNeededForUpdate, allocateDiskSpace and
// downloadNeededFiles in that order, once each.
//
// A file is fetched in parts through short-lived secure links, no more parts in
// flight at once than the user's preference allows (two unless set), unpacked
// when the parts are zip streams (each checked against its own CRC and size),
// and its MD5 checked against the manifest. Received parts are unpacked and
// written on the operation workers while the install thread goes on asking for
// more; a file's MD5 grows as its parts are written in order, so that a file is
// read back only for parts that came out of order or from an earlier run. A failed part is queued again after
// a short delay that grows with its failures, a damaged one at once; a part
// that fails the same way three times in a row ends the install as the
// server's fault. When a file's MD5 differs, only the parts whose fetches do
// not yet agree are fetched again (PartSettlement). Each written part is
// recorded at once, so that a run killed meanwhile loses only the parts in
// flight; files an earlier run left behind are taken over and resume with the
// parts they had written. Every file it creates, writes or deletes lies below the
// downloads directory and is reached without a link: a record read back from
// storage that names another path is dropped and its file left alone.
//
// Thread-safety: everything but abort() and getInstallResult() runs on the
// install thread, the handlers of results too. Hash and write results
// (operation workers) and part answers (the thread that delivers network
// answers) only come back through the result queue. abort() may be called from any thread,
// also while downloadNeededFiles waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <Poco/NotificationQueue.h>
#include <Poco/Optional.h>
#include <Poco/SharedPtr.h>
#include <Poco/Timestamp.h>

#include "common/AbortSignal.h"
#include "common/EngineSettings.h"
#include "common/VantisMutex.h"
#include "install/CalculateHashFeedback.h"
#include "install/DirtyFilesSerializer.h"
#include "install/DownloadFilePartFeedback.h"
#include "install/DownloadFilePartInfo.h"
#include "install/DownloadSpaceReservation.h"
#include "install/EInstallResult.h"
#include "install/FileSystem.h"
#include "install/InstallPathGuard.h"
#include "install/MismatchSettlement.h"
#include "install/NotificationsManager.h"
#include "install/OperationFeedback.h"
#include "install/OperationsManager.h"
#include "install/PartFailureStreak.h"
#include "install/PartLinkResolver.h"
#include "install/PartWriter.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "install/SecureUrlCache.h"
#include "install/SecureUrlInfo.h"
#include "install/WrittenFileHasher.h"
#include "model/DownloadingFileInfo.h"
#include "model/ProductInfo.h"
#include "model/RemoteFileDefinition.h"

namespace VantisClient {

class ProductFilesDownloader {
public:
    // Bounds of the user's parts-in-flight preference.
    static constexpr uint16_t MIN_PARTS_IN_FLIGHT = 1;
    static constexpr uint16_t MAX_PARTS_IN_FLIGHT = 16;
    // The start phase lets requests go as soon as this many parts wait.
    static constexpr size_t PENDING_PARTS_PER_PASS = 7;
    // A part is retried after a failure as long as it failed at most this often.
    static constexpr int32_t MAX_PART_RETRIES = 99;
    // The delay before a failed part is requested again; it doubles with each
    // failure of the part, up to MAX_RETRY_DELAY_DOUBLINGS times.
    static constexpr Poco::Timestamp::TimeDiff RETRY_DELAY_US = 150000;
    static constexpr int32_t MAX_RETRY_DELAY_DOUBLINGS = 4;

    // Parts are requested as `settings` say; every file operation goes through
    // `fileSystem`, which outlives the downloader.
    ProductFilesDownloader(const ProductInfo::Ptr& product, ProductFilesSynchronizerCallbackInterface& callback,
                           const AbortSignal::Ptr& abortSignal, const EngineSettings& settings,
                           FileSystem& fileSystem = FileSystem::Default());
    ~ProductFilesDownloader();
    ProductFilesDownloader(const ProductFilesDownloader&) = delete;
    ProductFilesDownloader& operator=(const ProductFilesDownloader&) = delete;

    // Takes over what an earlier run left in the downloads directory; files
    // gone, changed, failed or outdated are deleted and forgotten.
    void scanDownloadedFiles();
    // Adds a downloading record for every remote file that is neither
    // installed nor downloaded as the manifest describes it.
    void chooseFilesNeededForUpdate();
    // False, with OutOfDiskSpace, when the volume of the first file cannot hold
    // what is still to be reserved for the downloading files (their sizes less
    // what their files already hold), or a file cannot be created at its size.
    // False at once after an abort.
    bool allocateDiskSpace();
    // Fetches and verifies every file; false with the result set on failure,
    // or on abort (the records of files in progress are written then, so that
    // their written parts are not fetched again).
    bool downloadNeededFiles();

    // Stops the download at once: raises the abort signal, records Aborted and
    // wakes downloadNeededFiles if it waits. From any thread.
    void abort();
    // Unset until a failure or an abort.
    Poco::Optional<EInstallResult> getInstallResult() const;

    // The steps below make up the operations above; they run on the install
    // thread and are public so that they can be driven one at a time.
    void startDownloadingFile(DownloadingFileInfo::Ptr file);
    void startHashingFile(DownloadingFileInfo::Ptr file);
    void handleCalculateHash(const OperationFeedback* feedback);
    bool getDownloadTasksFinished() const;
    bool sanityCheckDownloadedFiles() const;
    void deleteUnusableFile(DownloadingFileInfo::Ptr file);
    // Queues part `index` of `file`, to be requested no sooner than `delay` from
    // now. False, with the file failed, when the manifest's sizes cannot hold the part.
    bool downloadFilePart(DownloadingFileInfo::Ptr file, uint16_t index, Poco::Timestamp::TimeDiff delay = 0);
    // Requests pending parts, first queued first, while fewer than the limit are in flight.
    void processDownloadQueue();
    void handleDownloadOperationComplete(const OperationFeedback* feedback);
    void handleFilePartDownloaded(const DownloadFilePartFeedback& feedback, DownloadingFileInfo::Ptr file);

    const std::deque<DownloadFilePartInfo::Ptr>& getPendingParts() const { return m_pendingParts; }
    size_t getInProgressPartsCount() const { return m_inProgressParts.size(); }
    uint16_t getPartsInFlightLimit() const { return m_partsInFlightLimit; }

private:
    static uint16_t partsInFlightLimit(int32_t wanted);
    static Poco::Timestamp::TimeDiff retryDelay(int32_t failures);
    static bool isUnfinished(const DownloadingFileInfo& file);
    // Whether a file in [from, to) is unfinished; the first becomes the hint.
    bool hintUnfinished(ProductFiles::DownloadingFiles::ConstIterator from,
                        ProductFiles::DownloadingFiles::ConstIterator to) const;

    bool aborted() const { return m_abortSignal->isRaised(); }
    // Logs the reason when `path` is not below the downloads directory or is reached through a link.
    bool isInDownloads(const std::string& path, InstallPathGuard::LastComponent last) const;
    void fail(EInstallResult result);
    ProductFiles::DownloadingFiles& downloadingFiles() { return m_product->getFiles().getDownloadingFiles(); }
    const ProductFiles::DownloadingFiles& downloadingFiles() const {
        return m_product->getFiles().getDownloadingFiles();
    }

    // Downloaded files.
    bool takeOverDownloadedFile(DownloadingFileInfo::Ptr file, const RemoteFileDefinition::Ptr& remote);
    bool doesFileNeedDownloading(const RemoteFileDefinition& definition) const;
    void addNeededFile(const RemoteFileDefinition::Ptr& definition);
    void hashWhenAllPartsWritten(DownloadingFileInfo::Ptr file);
    void settleHash(const CalculateHashFeedback& result, DownloadingFileInfo::Ptr file);
    void checkHash(const CalculateHashFeedback& result, DownloadingFileInfo& file);
    void fetchAgainOrGiveUp(DownloadingFileInfo::Ptr file);
    void giveUpFile(DownloadingFileInfo& file);

    // The loop.
    void runPass();
    void waitForResults();
    long millisecondsToWait() const;
    void windDownAfterAbort();
    void writeRecordsAfterAbort();

    // Parts.
    SecureUrlQuery linkKeysOf(const std::string& url) const;
    DownloadFilePartInfo::Ptr takeDuePendingPart();
    bool requestPart(const DownloadFilePartInfo::Ptr& part);
    void removeInProgressDownload(const std::string& path, uint16_t index);
    void startWritingPart(const DownloadFilePartFeedback& feedback, DownloadingFileInfo& file);
    void handleWrittenPart(const OperationFeedback* feedback);
    void settleWrite(const DownloadFilePartFeedback& feedback, DownloadingFileInfo::Ptr file,
                     FileSystem::UnpackResult stored);
    void recordWrittenPart(const DownloadingFileInfo::Ptr& file);
    // `damage` names what was wrong with the bytes received; null when none came.
    void retryOrFailPart(const DownloadFilePartFeedback& feedback, DownloadingFileInfo::Ptr file, int32_t errorCode,
                         const char* damage = nullptr);
    bool failsTheSameWay(const DownloadFilePartFeedback& feedback, const char* damage);
    void giveUpPart(const DownloadFilePartFeedback& feedback, DownloadingFileInfo& file, const char* damage);

    DirtyFilesSerializer m_serializer;
    ProductFilesSynchronizerCallbackInterface& m_callback;
    std::deque<DownloadFilePartInfo::Ptr> m_pendingParts;
    std::vector<DownloadFilePartInfo::Ptr> m_inProgressParts;
    SecureUrlCache::Ptr m_secureUrlCache;
    ProductInfo::Ptr m_product;
    PartLinkResolver m_linkResolver;
    Poco::SharedPtr<Poco::NotificationQueue> m_resultQueue;
    const Poco::AutoPtr<Poco::Notification> m_wakeUp;
    OperationsManager m_operationsManager;
    NotificationsManager<ProductFilesDownloader> m_handlers;
    // Written by the install thread on failures and by abort() from any thread.
    mutable VantisMutex m_resultMutex;
    Poco::Optional<EInstallResult> m_result;
    AbortSignal::Ptr m_abortSignal;
    FileSystem& m_fileSystem;
    const PartWriter m_partWriter;
    const DownloadSpaceReservation m_spaceReservation;
    const uint16_t m_partsInFlightLimit;
    // Received parts handed to the workers and not back yet.
    size_t m_partsBeingWritten = 0;
    const uint32_t m_speedLimit;
    PartFailureStreak m_failureStreaks;
    MismatchSettlement m_mismatches;
    WrittenFileHasher m_hasher;
    // Where getDownloadTasksFinished looks first.
    mutable std::string m_unfinishedFileHint;
};

}  // namespace VantisClient
