#include "install/ProductFilesDownloader.h"

#include <algorithm>
#include <string>

#include <Poco/AutoPtr.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Notification.h>

#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "common/ScopeTimer.h"
#include "common/ScopedLock.h"
#include "install/CalculateHashFeedback.h"
#include "install/CalculateHashOperation.h"
#include "install/DownloadSpaceReservation.h"
#include "install/FilePartLayout.h"
#include "install/FileSystem.h"
#include "install/InstallDebugChannel.h"
#include "install/InstallPathGuard.h"
#include "install/MismatchSettlement.h"
#include "install/PartLinkResolver.h"
#include "install/PartWriter.h"
#include "install/ProductFilesDownloadListener.h"
#include "install/ResultNotification.h"
#include "install/WritePartFeedback.h"
#include "install/WritePartOperation.h"
#include "net/HttpManager.h"

namespace VantisClient {

namespace {

using LastComponent = InstallPathGuard::LastComponent;

const char* const FILES_NEEDED_CHANNEL = "FilesNeededForUpdate";
// How a part failed, for the log and for telling repeated failures apart.
const char* const DAMAGED_PART = "damaged part";
const char* const WRONG_SIZE_PART = "answer of the wrong size";

Poco::Net::HTTPResponse::HTTPStatus asStatus(int32_t status) {
    return static_cast<Poco::Net::HTTPResponse::HTTPStatus>(status);
}

}  // namespace

ProductFilesDownloader::ProductFilesDownloader(const ProductInfo::Ptr& product,
                                               ProductFilesSynchronizerCallbackInterface& callback,
                                               const AbortSignal::Ptr& abortSignal,
                                               const EngineSettings& settings, FileSystem& fileSystem)
    : m_serializer(callback, abortSignal),
      m_callback(callback),
      m_secureUrlCache(new SecureUrlCache),
      m_product(product),
      m_linkResolver(product, m_secureUrlCache, abortSignal),
      m_resultQueue(new Poco::NotificationQueue),
      m_wakeUp(new Poco::Notification),
      m_operationsManager(m_resultQueue),
      m_abortSignal(abortSignal),
      m_fileSystem(fileSystem),
      m_partWriter(fileSystem, product->getDownloadsPath()),
      m_spaceReservation(fileSystem, product->getDownloadsPath(), abortSignal),
      m_partsInFlightLimit(partsInFlightLimit(settings.partsInFlight)),
      m_speedLimit(settings.downloadSpeedLimit) {
    m_handlers.registerHandler(DownloadFilePartFeedback::TypeId(),
                               &ProductFilesDownloader::handleDownloadOperationComplete);
    m_handlers.registerHandler(CalculateHashFeedback::TypeId(), &ProductFilesDownloader::handleCalculateHash);
    m_handlers.registerHandler(WritePartFeedback::TypeId(), &ProductFilesDownloader::handleWrittenPart);
}

ProductFilesDownloader::~ProductFilesDownloader() {
    // Writes still running use the writer and the digests, which go with the downloader.
    m_operationsManager.abort();
    // Answers still on their way find nobody to hand their part to.
    for (auto& part : m_inProgressParts) part->cancelled = true;
    ResultNotification::DropAll(*m_resultQueue);
}

uint16_t ProductFilesDownloader::partsInFlightLimit(int32_t wanted) {
    return static_cast<uint16_t>(std::clamp<int32_t>(wanted, MIN_PARTS_IN_FLIGHT, MAX_PARTS_IN_FLIGHT));
}

Poco::Timestamp::TimeDiff ProductFilesDownloader::retryDelay(int32_t failures) {
    return RETRY_DELAY_US << std::clamp<int32_t>(failures - 1, 0, MAX_RETRY_DELAY_DOUBLINGS);
}

bool ProductFilesDownloader::isInDownloads(const std::string& path, LastComponent last) const {
    return InstallPathGuard::isInside(m_product->getDownloadsPath(), path, last);
}

void ProductFilesDownloader::fail(EInstallResult result) {
    {
        ScopedLock lock(m_resultMutex);
        m_result = result;
    }
    m_abortSignal->raise();
}

void ProductFilesDownloader::abort() {
    m_abortSignal->raise();
    {
        ScopedLock lock(m_resultMutex);
        m_result = EInstallResult::Aborted;
    }
    // A notification rather than a wake-up call: it also ends a wait that only
    // begins after this. It lives as long as the downloader, so that no thread
    // but the owner's ever drops its last reference.
    m_resultQueue->enqueueNotification(m_wakeUp);
}

Poco::Optional<EInstallResult> ProductFilesDownloader::getInstallResult() const {
    ScopedLock lock(m_resultMutex);
    return m_result;
}

void ProductFilesDownloader::scanDownloadedFiles() {
    ScopeTimer timer("Scanning downloaded files");
    const ProductFiles::RemoteFiles& remoteFiles = m_product->getFiles().getRemoteFiles();
    std::vector<DownloadingFileInfo::Ptr> unusable;
    for (const auto& entry : downloadingFiles()) {
        if (aborted()) break;
        auto remote = remoteFiles.find(entry.first);
        const RemoteFileDefinition::Ptr definition = remote == remoteFiles.end() ? nullptr : remote->second;
        if (!takeOverDownloadedFile(entry.second, definition)) unusable.push_back(entry.second);
    }
    for (auto& file : unusable) {
        if (aborted()) break;
        deleteUnusableFile(file);
        downloadingFiles().erase(file->getFileInfo().getPath());
    }
}

bool ProductFilesDownloader::takeOverDownloadedFile(DownloadingFileInfo::Ptr file,
                                                    const RemoteFileDefinition::Ptr& remote) {
    uint64_t size = 0;
    // A record read back from storage may name any path: only one below the
    // downloads directory is taken over, written to or deleted.
    if (!file->getFullPath().empty() && !isInDownloads(file->getFullPath(), LastComponent::MustNotBeLink)) {
        Logger::LogError("Downloaded file %s is not inside the downloads directory, dropping",
                         file->getFullPath().c_str());
        return false;
    }
    if (file->getFullPath().empty() || !m_fileSystem.getFileSize(file->getFullPath(), size)) {
        Logger::LogInfo("Downloaded file %s disappeared, dropping; info: (%s)", file->getFullPath().c_str(),
                        file->getDebugInfoString().c_str());
        return false;
    }
    file->getFileInfo().setSize(size);
    if (remote.isNull() || !remote->matchesExceptHash(file->getFileInfo())) {
        Logger::LogInfo("Downloaded file %s definition changed since last download, dropping; info: (%s)",
                        file->getFileInfo().getPath().c_str(), file->getDebugInfoString().c_str());
        return false;
    }
    file->setRemoteDefinition(remote);
    switch (file->getState()) {
        case DownloadingFileInfo::Hashing:
            startHashingFile(file);
            return true;
        case DownloadingFileInfo::Verified:
            // The manifest may have changed the file since it was verified.
            return remote->matchesFully(file->getFileInfo());
        case DownloadingFileInfo::Failed:
            return false;
        default:
            return true;
    }
}

void ProductFilesDownloader::deleteUnusableFile(DownloadingFileInfo::Ptr file) {
    Logger::LogInfo("Deleting unusable failed file %s", file->getFileInfo().getPath().c_str());
    if (isInDownloads(file->getFullPath(), LastComponent::MayBeLink)) m_fileSystem.deleteFile(file->getFullPath());
    file->fileDeleted();
}

void ProductFilesDownloader::chooseFilesNeededForUpdate() {
    ScopeTimer timer("Choosing files needed for update");
    m_callback.postNotification_StatusCode(EInstallStatusCode::ScanningDownloads);
    for (const auto& entry : m_product->getFiles().getRemoteFiles()) {
        if (aborted()) break;
        if (doesFileNeedDownloading(*entry.second)) addNeededFile(entry.second);
    }
    m_serializer.flush();
}

bool ProductFilesDownloader::doesFileNeedDownloading(const RemoteFileDefinition& definition) const {
    const ProductFiles::InstalledFiles& installed = m_product->getFiles().getInstalledFiles();
    auto installedFile = installed.find(definition.getPath());
    if (installedFile != installed.end() && installedFile->second->getFileInfo().matchesFully(definition)) {
        return false;
    }
    auto downloaded = downloadingFiles().find(definition.getPath());
    if (downloaded != downloadingFiles().end() && downloaded->second->getState() == DownloadingFileInfo::Verified) {
        return !downloaded->second->getFileInfo().matchesFully(definition);
    }
    return true;
}

void ProductFilesDownloader::addNeededFile(const RemoteFileDefinition::Ptr& definition) {
    Logger::LogChannelInfo(FILES_NEEDED_CHANNEL, "File %s needs downloading for product %s",
                           definition->getPath().c_str(), m_product->getGameId().c_str());
    auto existing = downloadingFiles().find(definition->getPath());
    if (existing != downloadingFiles().end()) {
        existing->second->setRemoteDefinition(definition);
        return;
    }
    DownloadingFileInfo::Ptr file =
        new DownloadingFileInfo(definition, m_product->getDownloadsPath(), DownloadingFileInfo::Queued);
    m_product->getFiles().addDownloadingFileInfo(file);
    m_serializer.queue(file);
}

bool ProductFilesDownloader::allocateDiskSpace() {
    // An abort during the scan leaves records that were never matched with their definition.
    if (aborted()) return false;
    const Poco::Optional<EInstallResult> failure = m_spaceReservation.reserve(downloadingFiles());
    if (!failure.isSpecified()) return true;
    fail(failure.value());
    return false;
}

void ProductFilesDownloader::startDownloadingFile(DownloadingFileInfo::Ptr file) {
    const size_t count = file->getPartSizes().size();
    if (count == 0) {
        Logger::LogInfo("File %s has size 0, nothing to download.", file->getFileInfo().getPath().c_str());
        startHashingFile(file);
    } else {
        for (uint16_t index = 0; index < count && !aborted(); ++index) {
            // Written parts stay; parts in flight are already on their way.
            if (file->getParts().getPartState(index) || file->getDownloadingParts().getPartState(index)) continue;
            if (!downloadFilePart(file, index)) return;
        }
        file->downloadStarted();
        // A resumed file may have had every part written before it was interrupted.
        hashWhenAllPartsWritten(file);
    }
    m_serializer.queue(file);
}

void ProductFilesDownloader::hashWhenAllPartsWritten(DownloadingFileInfo::Ptr file) {
    const FileParts& parts = file->getParts();
    if (file->getState() != DownloadingFileInfo::Downloading || parts.getMarkedPartsCount() != parts.getPartsCount()) {
        return;
    }
    Logger::LogInfo("File %s all parts downloaded.", file->getFileInfo().getPath().c_str());
    const Poco::Optional<std::string> hash = m_hasher.finish(*file);
    if (!hash.isSpecified()) {
        startHashingFile(file);
        return;
    }
    // Hashed as its parts were written: settled at once, without reading the file again.
    file->hashingStarted();
    CalculateHashFeedback result(file->getFileInfo().getPath());
    result.setHash(hash.value());
    settleHash(result, file);
}

void ProductFilesDownloader::startHashingFile(DownloadingFileInfo::Ptr file) {
    const std::string& path = file->getFileInfo().getPath();
    Logger::LogInfo("File %s hashing started", path.c_str());
    m_operationsManager.performAsync(new CalculateHashOperation(path, file->getFullPath()));
    file->hashingStarted();
}

bool ProductFilesDownloader::downloadNeededFiles() {
    if (aborted()) return false;
    if (m_speedLimit > 0) {
        Logger::LogInfo("Downloading files of product %s at most %u bytes per second", m_product->getGameId().c_str(),
                        m_speedLimit);
    }
    for (const auto& entry : downloadingFiles()) {
        if (aborted()) break;
        const DownloadingFileInfo::DownloadingFileState state = entry.second->getState();
        if (state == DownloadingFileInfo::Queued || state == DownloadingFileInfo::Downloading) {
            startDownloadingFile(entry.second);
        }
        if (m_pendingParts.size() >= PENDING_PARTS_PER_PASS) runPass();
    }
    while (!aborted() && !getDownloadTasksFinished()) {
        runPass();
        if (!aborted() && !getDownloadTasksFinished()) waitForResults();
    }
    m_serializer.flush();
    if (aborted()) {
        windDownAfterAbort();
        return false;
    }
    m_secureUrlCache->clear();
    if (sanityCheckDownloadedFiles()) return true;
    Logger::LogError("Downloading files of product %s ended with files that are not verified",
                     m_product->getGameId().c_str());
    fail(EInstallResult::DiskAccessError);
    return false;
}

void ProductFilesDownloader::runPass() {
    m_handlers.process(this, *m_resultQueue);
    processDownloadQueue();
    m_serializer.process();
}

void ProductFilesDownloader::waitForResults() {
    m_handlers.waitAndProcess(this, *m_resultQueue, millisecondsToWait());
}

long ProductFilesDownloader::millisecondsToWait() const {
    const Poco::Timestamp::TimeDiff sinceFlush = m_serializer.getLastFlushTime().elapsed();
    Poco::Timestamp::TimeDiff wait = DirtyFilesSerializer::FLUSH_INTERVAL_US - sinceFlush;
    // With a free place, the parts still waiting are retries waiting for their delay.
    if (m_inProgressParts.size() < m_partsInFlightLimit) {
        const Poco::Timestamp now;
        for (const DownloadFilePartInfo::Ptr& part : m_pendingParts) wait = std::min(wait, part->notBefore - now);
    }
    return static_cast<long>(std::max<Poco::Timestamp::TimeDiff>(1, (wait + 999) / 1000));
}

void ProductFilesDownloader::windDownAfterAbort() {
    for (auto& part : m_inProgressParts) part->cancelled = true;
    m_operationsManager.abort();
    writeRecordsAfterAbort();
    ResultNotification::DropAll(*m_resultQueue);
}


void ProductFilesDownloader::writeRecordsAfterAbort() {
    // The batches hold back what they have once the pipeline is aborted; without
    // this, the parts written since the last batch would be fetched again.
    std::vector<DownloadingFileInfo::Ptr> records;
    for (const auto& entry : downloadingFiles()) records.push_back(entry.second);
    if (records.empty()) return;
    Logger::LogInfo("Writing the state of %d downloading files of product %s after the abort",
                    static_cast<int>(records.size()), m_product->getGameId().c_str());
    if (!m_callback.serializeFilesStates(records)) {
        Logger::LogError("Could not write the state of the downloading files of product %s",
                         m_product->getGameId().c_str());
    }
}

bool ProductFilesDownloader::getDownloadTasksFinished() const {
    // Asked on every pass. Files are started, and so mostly finish, in the
    // order of the list: the search goes on from the last unfinished file and
    // wraps around, so a finished file is passed over about once per download
    // rather than once per pass.
    const ProductFiles::DownloadingFiles& files = downloadingFiles();
    auto hinted = files.find(m_unfinishedFileHint);
    if (hinted == files.end()) hinted = files.begin();
    return !hintUnfinished(hinted, files.end()) && !hintUnfinished(files.begin(), hinted);
}

bool ProductFilesDownloader::hintUnfinished(ProductFiles::DownloadingFiles::ConstIterator from,
                                            ProductFiles::DownloadingFiles::ConstIterator to) const {
    for (auto entry = from; entry != to; ++entry) {
        if (!isUnfinished(*entry->second)) continue;
        m_unfinishedFileHint = entry->first;
        return true;
    }
    return false;
}

bool ProductFilesDownloader::isUnfinished(const DownloadingFileInfo& file) {
    const DownloadingFileInfo::DownloadingFileState state = file.getState();
    return state == DownloadingFileInfo::Queued || state == DownloadingFileInfo::Downloading ||
           state == DownloadingFileInfo::Hashing;
}

bool ProductFilesDownloader::sanityCheckDownloadedFiles() const {
    for (const auto& entry : downloadingFiles()) {
        if (entry.second->getState() != DownloadingFileInfo::Verified) return false;
    }
    return true;
}

void ProductFilesDownloader::handleCalculateHash(const OperationFeedback* feedback) {
    const auto& result = static_cast<const CalculateHashFeedback&>(*feedback);
    auto found = downloadingFiles().find(result.getRelativePath());
    if (found == downloadingFiles().end()) {
        Logger::LogError("Hash of %s arrived for no downloading file; dropped", result.getRelativePath().c_str());
        return;
    }
    settleHash(result, found->second);
}

void ProductFilesDownloader::settleHash(const CalculateHashFeedback& result, DownloadingFileInfo::Ptr file) {
    checkHash(result, *file);
    if (file->getState() == DownloadingFileInfo::Verified) {
        m_mismatches.verified(file->getFileInfo().getPath());
    } else {
        fetchAgainOrGiveUp(file);
    }
    m_serializer.queue(file);
    if (!aborted()) m_callback.postNotification_Progress();
}

void ProductFilesDownloader::checkHash(const CalculateHashFeedback& result, DownloadingFileInfo& file) {
    const std::string& path = result.getRelativePath();
    if (result.getErrorCode() != 0) {
        Logger::LogError("Hashing failed to complete for file %s", path.c_str());
        file.hashingMismatch();
        return;
    }
    const std::string& expected = file.getRemoteDefinition()->getHash();
    // An empty file is what it is, whatever the manifest says.
    if (result.getHash() == expected || file.getFileInfo().getSize() == 0) {
        file.hashingCompleteOK(result.getHash());
        return;
    }
    Logger::LogError("Hashing error - should be %s but was %s for file %s", expected.c_str(),
                     result.getHash().c_str(), path.c_str());
    file.hashingMismatch();
}

void ProductFilesDownloader::fetchAgainOrGiveUp(DownloadingFileInfo::Ptr file) {
    if (m_mismatches.afterMismatch(*file) == MismatchSettlement::Verdict::GiveUp) {
        giveUpFile(*file);
        return;
    }
    startDownloadingFile(file);
}

void ProductFilesDownloader::giveUpFile(DownloadingFileInfo& file) {
    const std::string& path = file.getFileInfo().getPath();
    Logger::LogError("File %s did not match its hash %d times; giving up", path.c_str(), file.getHashMismatchCount());
    const std::string& url = file.getRemoteDefinition()->getLocation().url;
    const Poco::Optional<SecureUrlInfo> link = m_secureUrlCache->findBinaryFileInCache(linkKeysOf(url));
    ProblemReporter::Instance().persistentHashMismatch(m_product->getGameId(), m_product->getGameName(), path,
                                                       link.isSpecified() ? link.value().url : url);
    file.downloadingFailedPermanently();
    fail(EInstallResult::ServerError);
}

SecureUrlQuery ProductFilesDownloader::linkKeysOf(const std::string& url) const {
    SecureUrlQuery keys;
    SecureUrlCache::tokenizeUrl(url, keys.product, keys.file);
    // Every lookup uses the keys the link was asked for, or it would never find it.
    if (keys.product.empty()) keys.product = m_product->getGameId();
    return keys;
}

bool ProductFilesDownloader::downloadFilePart(DownloadingFileInfo::Ptr file, uint16_t index,
                                              Poco::Timestamp::TimeDiff delay) {
    const std::string& path = file->getFileInfo().getPath();
    Logger::LogInfo("Requesting file %s. Part %d", path.c_str(), static_cast<int>(index));
    const RemoteFileDefinition& remote = *file->getRemoteDefinition();
    FilePartLayout::Part layout;
    if (!FilePartLayout::describePart(remote.getSize(), file->getPartSizes(), remote.isZip(), index, layout)) {
        Logger::LogError("File %s part %hu does not fit the sizes its manifest gives; the file cannot be downloaded",
                         path.c_str(), index);
        file->downloadingFailedPermanently();
        fail(EInstallResult::ServerError);
        return false;
    }
    DownloadFilePartInfo::Ptr part = new DownloadFilePartInfo;
    part->path = path;
    part->url = remote.getLocation().url;
    part->linkKeys = linkKeysOf(part->url);
    part->fileOffset = remote.getLocation().offset;
    part->partOffset = layout.partOffset;
    part->destinationOffset = layout.destinationOffset;
    part->partIndex = index;
    part->requestSize = layout.requestSize;
    part->expectedSize = layout.expectedSize;
    part->compressed = layout.compressed;
    part->redistributable = remote.getType() == FileType::Redistributable;
    part->notBefore += delay;
    m_pendingParts.push_back(part);
    file->getDownloadingParts().markPart(index);
    return true;
}

void ProductFilesDownloader::processDownloadQueue() {
    // Parts wait in memory until they are written: no more are asked for while
    // the disk is that far behind.
    while (!aborted() && !m_pendingParts.empty() && m_inProgressParts.size() < m_partsInFlightLimit &&
           m_partsBeingWritten <= m_partsInFlightLimit) {
        DownloadFilePartInfo::Ptr part = takeDuePendingPart();
        if (part.isNull() || !requestPart(part)) return;
    }
}

DownloadFilePartInfo::Ptr ProductFilesDownloader::takeDuePendingPart() {
    const Poco::Timestamp now;
    auto due = std::find_if(m_pendingParts.begin(), m_pendingParts.end(),
                            [&now](const DownloadFilePartInfo::Ptr& part) { return part->notBefore <= now; });
    if (due == m_pendingParts.end()) return nullptr;
    DownloadFilePartInfo::Ptr part = *due;
    m_pendingParts.erase(due);
    return part;
}

bool ProductFilesDownloader::requestPart(const DownloadFilePartInfo::Ptr& part) {
    const PartLinkResolver::Result resolved = m_linkResolver.resolve(*part);
    if (!resolved.link.isSpecified()) {
        if (resolved.failure.isSpecified()) fail(resolved.failure.value());
        m_secureUrlCache->clear();
        return false;
    }
    const SecureUrlInfo& link = resolved.link.value();
    HttpManager* manager = HttpManager::Instance();
    if (manager == nullptr) {
        Logger::LogError("Cannot request file %s: the network layer is shut down", part->path.c_str());
        fail(EInstallResult::ConnectionError);
        return false;
    }
    Poco::SharedPtr<Http::IHttpClient::IResponseListener> listener =
        new ProductFilesDownloadListener(part, link, m_secureUrlCache, m_resultQueue);
    manager->downloadFilePart(link.url, part->fileOffset, part->partOffset, part->requestSize, m_speedLimit,
                              listener);
    m_inProgressParts.push_back(part);
    Logger::LogChannelInfo(INSTALL_DEBUG_CHANNEL,
                           "New download in progress: %s (%s): %llu-%llu (size: %u)%s, part index: %hu",
                           part->url.c_str(), part->path.c_str(), static_cast<unsigned long long>(part->fileOffset),
                           static_cast<unsigned long long>(part->fileOffset + part->requestSize), part->requestSize,
                           part->compressed ? "(compressed)" : "(not compressed)", part->partIndex);
    return true;
}

void ProductFilesDownloader::handleDownloadOperationComplete(const OperationFeedback* feedback) {
    const auto& part = static_cast<const DownloadFilePartFeedback&>(*feedback);
    if (aborted()) return;
    auto found = downloadingFiles().find(part.getPath());
    if (found == downloadingFiles().end()) {
        Logger::LogError("Part %hu of %s arrived for no downloading file; dropped", part.getPartIndex(),
                         part.getPath().c_str());
        removeInProgressDownload(part.getPath(), part.getPartIndex());
    } else {
        handleFilePartDownloaded(part, found->second);
        m_callback.postNotification_Progress();
    }
    processDownloadQueue();
}

void ProductFilesDownloader::handleFilePartDownloaded(const DownloadFilePartFeedback& feedback,
                                                      DownloadingFileInfo::Ptr file) {
    const uint16_t index = feedback.getPartIndex();
    removeInProgressDownload(feedback.getPath(), index);
    if (feedback.getErrorCode() == DownloadFilePartFeedback::PART_RECEIVED) {
        // The part stays among those on their way until it is written, so that
        // nothing asks for it again meanwhile.
        startWritingPart(feedback, *file);
        processDownloadQueue();
        return;
    }
    if (index < file->getDownloadingParts().getPartsCount()) file->getDownloadingParts().unmarkPart(index);
    retryOrFailPart(feedback, file, feedback.getErrorCode());
    m_serializer.queue(file);
}

void ProductFilesDownloader::startWritingPart(const DownloadFilePartFeedback& feedback, DownloadingFileInfo& file) {
    ++m_partsBeingWritten;
    Md5Digest* digest = m_hasher.digestFor(file, feedback.getPartIndex());
    m_operationsManager.performAsync(new WritePartOperation(m_partWriter, feedback, file.getFullPath(), digest));
}

void ProductFilesDownloader::handleWrittenPart(const OperationFeedback* feedback) {
    const auto& written = static_cast<const WritePartFeedback&>(*feedback);
    const DownloadFilePartFeedback& part = written.getPart();
    --m_partsBeingWritten;
    auto found = downloadingFiles().find(part.getPath());
    if (found == downloadingFiles().end()) {
        Logger::LogError("Part %hu of %s was written for no downloading file", part.getPartIndex(),
                         part.getPath().c_str());
        return;
    }
    DownloadingFileInfo::Ptr file = found->second;
    const uint16_t index = part.getPartIndex();
    if (index < file->getDownloadingParts().getPartsCount()) file->getDownloadingParts().unmarkPart(index);
    settleWrite(part, file, written.getResult());
    m_serializer.queue(file);
    if (aborted()) return;
    m_callback.postNotification_Progress();
    processDownloadQueue();
}

void ProductFilesDownloader::removeInProgressDownload(const std::string& path, uint16_t index) {
    auto found = std::find_if(m_inProgressParts.begin(), m_inProgressParts.end(),
                              [&](const DownloadFilePartInfo::Ptr& part) {
                                  return part->partIndex == index && part->path == path;
                              });
    if (found != m_inProgressParts.end()) m_inProgressParts.erase(found);
}

void ProductFilesDownloader::settleWrite(const DownloadFilePartFeedback& feedback, DownloadingFileInfo::Ptr file,
                                         FileSystem::UnpackResult stored) {
    const uint16_t index = feedback.getPartIndex();
    if (stored != FileSystem::UnpackResult::Written) m_hasher.partFailed(*file, index);
    switch (stored) {
        case FileSystem::UnpackResult::Written: {
            Logger::LogChannelInfo(INSTALL_DEBUG_CHANNEL,
                                   "File %s part %hu downloaded%s. In progress downloads: %d, queued downloads: %d",
                                   feedback.getPath().c_str(), index, feedback.isCompressed() ? " and extracted" : "",
                                   static_cast<int>(m_inProgressParts.size()), static_cast<int>(m_pendingParts.size()));
            m_failureStreaks.breakStreak(feedback.getPath(), index);
            file->getParts().markPart(index);
            m_hasher.partWritten(*file, index);
            m_mismatches.partWritten(*file, index);
            hashWhenAllPartsWritten(file);
            recordWrittenPart(file);
            return;
        }
        case FileSystem::UnpackResult::DamagedData:
            // The bytes were spoilt on their way, not by the disk: fetched again at once.
            retryOrFailPart(feedback, file, DownloadFilePartFeedback::PART_RETRY, DAMAGED_PART);
            return;
        case FileSystem::UnpackResult::WriteFailed:
            file->downloadingFailedPermanently();
            fail(EInstallResult::DiskAccessError);
            return;
    }
}

// The part's data is in the file before its record says so, and the record is
// written at once rather than with the next batch: a process killed now loses
// at most the parts still in flight. The product database is kept open for the
// install, so this is one small write that needs no sync to outlive the process.
void ProductFilesDownloader::recordWrittenPart(const DownloadingFileInfo::Ptr& file) {
    if (!m_callback.serializeFileState(file)) {
        Logger::LogWarning("The written parts of file %s could not be recorded; they will be recorded with the next "
                           "batch",
                           file->getFileInfo().getPath().c_str());
    }
}

void ProductFilesDownloader::retryOrFailPart(const DownloadFilePartFeedback& feedback, DownloadingFileInfo::Ptr file,
                                             int32_t errorCode, const char* damage) {
    const uint16_t index = feedback.getPartIndex();
    file->partDownloadFailed(index);
    const int32_t failures = file->getDownloadErrorCount(index);
    Logger::LogError("File '%s' part %hu download failed: %d; downloadErrorCount: %d",
                     file->getFileInfo().getPath().c_str(), index, errorCode, failures);
    // A success status with a body of the wrong length.
    if (damage == nullptr && errorCode == DownloadFilePartFeedback::PART_RETRY && feedback.getStatusCode() / 100 == 2) {
        damage = WRONG_SIZE_PART;
    }
    if (failsTheSameWay(feedback, damage)) {
        giveUpPart(feedback, *file, damage);
        return;
    }
    if (errorCode != DownloadFilePartFeedback::PART_FAILED_FOR_GOOD && failures <= MAX_PART_RETRIES) {
        downloadFilePart(file, index, damage == DAMAGED_PART ? 0 : retryDelay(failures));
        return;
    }
    ProblemReporter::Instance().permanentDownloadFailure(
        m_product->getGameId(), m_product->getGameName(), feedback.getPath(),
        file->getRemoteDefinition()->getLocation().url, asStatus(feedback.getStatusCode()),
        static_cast<unsigned int>(failures));
    fail(EInstallResult::ConnectionError);
}

bool ProductFilesDownloader::failsTheSameWay(const DownloadFilePartFeedback& feedback, const char* damage) {
    if (damage == nullptr) {
        m_failureStreaks.breakStreak(feedback.getPath(), feedback.getPartIndex());
        return false;
    }
    return m_failureStreaks.recordFailure(feedback.getPath(), feedback.getPartIndex(),
                                          PartFailureStreak::Signature(damage, feedback.getData()));
}

// Fetching again would only bring the same bytes: the server is at fault.
void ProductFilesDownloader::giveUpPart(const DownloadFilePartFeedback& feedback, DownloadingFileInfo& file,
                                        const char* damage) {
    const std::string& path = file.getFileInfo().getPath();
    Logger::LogError("File '%s' part %hu came %d times in a row as the same %s; the server sends it so, the install "
                     "ends",
                     path.c_str(), feedback.getPartIndex(), PartFailureStreak::DETERMINISTIC_FAILURES, damage);
    const auto failures = static_cast<unsigned int>(file.getDownloadErrorCount(feedback.getPartIndex()));
    ProblemReporter::Instance().permanentDownloadFailure(m_product->getGameId(), m_product->getGameName(), path,
                                                         file.getRemoteDefinition()->getLocation().url,
                                                         asStatus(feedback.getStatusCode()), failures);
    file.downloadingFailedPermanently();
    fail(EInstallResult::ServerError);
}

}  // namespace VantisClient
