#include "install/InstalledFilesScanner.h"

#include <Poco/AutoPtr.h>
#include <Poco/Notification.h>

#include "common/Logger.h"
#include "common/Utilities.h"
#include "install/CalculateHashFeedback.h"
#include "install/CalculateHashOperation.h"
#include "install/FileSystem.h"

namespace VantisClient {

InstalledFilesScanner::InstalledFilesScanner(const ProductInfo::Ptr& product,
                                             ProductFilesSynchronizerCallbackInterface& callback,
                                             const AbortSignal::Ptr& abortSignal)
    : m_serializer(callback, abortSignal),
      m_product(product),
      m_resultQueue(new Poco::NotificationQueue),
      m_operationsManager(m_resultQueue),
      m_abortSignal(abortSignal) {
    m_handlers.registerHandler(CalculateHashFeedback::TypeId(), &InstalledFilesScanner::handleCalculateHash);
}

void InstalledFilesScanner::scan(bool hashEveryFile) {
    checkExistanceAndSizes();
    addMissingFiles();
    startHashing(hashEveryFile);
    waitForHashes();
    m_serializer.flush();
}

void InstalledFilesScanner::abort() {
    m_abortSignal->raise();
    // After the raise: a scan that is not waiting yet sees the signal before it waits.
    m_resultQueue->wakeUpAll();
    m_resultQueue->clear();
    m_operationsManager.abort();
}

void InstalledFilesScanner::checkExistanceAndSizes() {
    std::vector<InstalledFileInfo::Ptr> missing;
    for (auto& entry : m_product->getFiles().getInstalledFiles()) {
        if (m_abortSignal->isRaised()) return;
        InstalledFileInfo::Ptr& file = entry.second;
        if (!file->getFullPath().empty() && Utilities::GetFileExists(file->getFullPath())) {
            refreshSize(file);
        } else {
            missing.push_back(file);
        }
    }
    dropMissingFiles(missing);
}

void InstalledFilesScanner::refreshSize(InstalledFileInfo::Ptr file) {
    uint64_t size = 0;
    if (!FileSystem::Default().getFileSize(file->getFullPath(), size) || size == file->getFileInfo().getSize()) return;
    file->getFileInfo().setSize(size);
    // The recorded hash was that of other contents; an empty one makes the file hashed again.
    file->getFileInfo().setHash("");
    m_serializer.queue(file);
}

void InstalledFilesScanner::dropMissingFiles(const std::vector<InstalledFileInfo::Ptr>& missing) {
    ProductFiles::InstalledFiles& installed = m_product->getFiles().getInstalledFiles();
    for (const InstalledFileInfo::Ptr& file : missing) {
        const std::string& relativePath = file->getFileInfo().getPath();
        Logger::LogWarning("File %s missing or has invalid path stored: %s", relativePath.c_str(),
                           file->getFullPath().c_str());
        installed.erase(relativePath);
    }
}

void InstalledFilesScanner::addMissingFiles() {
    ProductFiles& files = m_product->getFiles();
    for (const auto& entry : files.getRemoteFiles()) {
        if (m_abortSignal->isRaised()) return;
        const RemoteFileDefinition& definition = *entry.second;
        if (files.getInstalledFiles().find(definition.getPath()) != files.getInstalledFiles().end()) continue;
        std::string fullPath = m_product->getPathForInstallation(definition);
        if (fullPath.empty() || !Utilities::GetFileExists(fullPath)) continue;
        InstalledFileInfo::Ptr file =
            new InstalledFileInfo(definition.getType(), definition.getPath(), InstalledFileInfo::Unverified, fullPath);
        uint64_t size = 0;
        if (FileSystem::Default().getFileSize(fullPath, size)) file->getFileInfo().setSize(size);
        files.insertOrUpdateInstalledFileInfo(file);
    }
}

void InstalledFilesScanner::startHashing(bool hashEveryFile) {
    Logger::LogInfo("Hashing product files starting for %s", m_product->getGameId().c_str());
    m_operationsManager.setMaxWorkers(MAX_HASHING_WORKERS);
    for (auto& entry : m_product->getFiles().getInstalledFiles()) {
        if (m_abortSignal->isRaised()) return;
        InstalledFileInfo::Ptr& file = entry.second;
        const bool known = file->getState() == InstalledFileInfo::Hashed && !file->getFileInfo().getHash().empty();
        if (known && !hashEveryFile) continue;
        file->hashingStarted();
        ++m_filesLeftToHash;
        m_operationsManager.performAsync(new CalculateHashOperation(entry.first, file->getFullPath()));
    }
}

void InstalledFilesScanner::waitForHashes() {
    while (!m_abortSignal->isRaised() && m_filesLeftToHash > 0) {
        m_handlers.waitAndProcess(this, *m_resultQueue, RESULT_WAIT_MS);
        m_serializer.process();
    }
}

void InstalledFilesScanner::handleCalculateHash(const OperationFeedback* feedback) {
    const auto* result = static_cast<const CalculateHashFeedback*>(feedback);
    --m_filesLeftToHash;
    Logger::LogInfo("Hashing complete: %s, files left to hash: %d", result->getRelativePath().c_str(),
                    m_filesLeftToHash);
    // A failed file stays in the hashing state and is hashed again by the next scan.
    if (result->getErrorCode() != 0) return;
    ProductFiles::InstalledFiles& installed = m_product->getFiles().getInstalledFiles();
    auto found = installed.find(result->getRelativePath());
    if (found == installed.end()) return;
    found->second->hashingComplete(result->getHash());
    m_serializer.queue(found->second);
}

}  // namespace VantisClient
