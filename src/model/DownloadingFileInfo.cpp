#include "model/DownloadingFileInfo.h"

#include <Poco/Exception.h>

#include "common/Utilities.h"

namespace VantisClient {

DownloadingFileInfo::DownloadingFileInfo(const RemoteFileDefinition::Ptr& remoteDefinition,
                                         const std::string& basePath, DownloadingFileState state)
    : m_remoteDefinition(remoteDefinition),
      m_fileInfo(remoteDefinition->getType(), remoteDefinition->getPath(), "", remoteDefinition->getSize()),
      m_state(state),
      m_fullPath(Utilities::AppendPath(basePath, remoteDefinition->getPath())) {
    setupParts();
}

DownloadingFileInfo::DownloadingFileInfo(FileType type, const std::string& path, DownloadingFileState state,
                                         const std::string& fullPath)
    : m_fileInfo(type, path), m_state(state), m_fullPath(fullPath) {}

void DownloadingFileInfo::setRemoteDefinition(const RemoteFileDefinition::Ptr& remoteDefinition) {
    m_remoteDefinition = remoteDefinition;
    m_fileInfo.setSize(remoteDefinition->getSize());
    setupParts();
}

void DownloadingFileInfo::setupParts() {
    if (m_remoteDefinition.isNull()) throw Poco::NullPointerException("remote definition of " + m_fullPath);
    if (m_remoteDefinition->getParts().empty()) {
        // Always the default size: the manifest's "partSize" does not cut plain files.
        createPartsOfSize(RemoteFileDefinition::DEFAULT_PART_SIZE);
    } else {
        createParts(m_remoteDefinition->getParts());
    }
}

void DownloadingFileInfo::createPartsOfSize(uint32_t partSize) {
    clearParts();
    uint64_t size = m_remoteDefinition->getSize();
    if (size == 0) return;
    uint64_t count = size / partSize + (size % partSize != 0 ? 1 : 0);
    setPartsCount(count);
    m_partSizes.assign(count, partSize);
    m_partSizes.back() = static_cast<uint32_t>(size - static_cast<uint64_t>(partSize) * (count - 1));
}

void DownloadingFileInfo::createParts(const std::vector<uint32_t>& sizes) {
    clearParts();
    if (sizes.empty()) return;
    setPartsCount(sizes.size());
    m_partSizes = sizes;
}

void DownloadingFileInfo::setPartsCount(uint64_t count) {
    // The manifest reader refuses such files; never let a count wrap around.
    if (count > RemoteFileDefinition::MAX_PARTS_COUNT) {
        throw Poco::RangeException("too many parts for " + m_fileInfo.getPath());
    }
    m_parts.setPartInfo(static_cast<uint16_t>(count));
    m_downloadingParts.setPartInfo(static_cast<uint16_t>(count));
}

void DownloadingFileInfo::clearParts() {
    m_parts.clear();
    m_downloadingParts.clear();
}

void DownloadingFileInfo::downloadStarted() { m_state = Downloading; }

void DownloadingFileInfo::hashingStarted() { m_state = Hashing; }

void DownloadingFileInfo::hashingCompleteOK(const std::string& hash) {
    m_fileInfo.setHash(hash);
    m_state = Verified;
}

void DownloadingFileInfo::hashingMismatch() {
    clearParts();
    m_fileInfo.setHash("");
    ++m_hashMismatchCount;
    m_state = Queued;
}

void DownloadingFileInfo::downloadingFailedPermanently() {
    clearParts();
    m_state = Failed;
}

void DownloadingFileInfo::fileDeleted() {
    clearParts();
    m_fileInfo.setHash("");
    m_fileInfo.setSize(0);
    m_state = Queued;
}

void DownloadingFileInfo::partDownloadFailed(int32_t partIndex) { ++m_downloadErrorCounts[partIndex]; }

int32_t DownloadingFileInfo::getDownloadErrorCount(int32_t partIndex) const {
    auto found = m_downloadErrorCounts.find(partIndex);
    return found == m_downloadErrorCounts.end() ? 0 : found->second;
}

std::string DownloadingFileInfo::getDebugInfoString() const {
    return "type: " + std::to_string(static_cast<int32_t>(m_fileInfo.getType())) + " hash: " + m_fileInfo.getHash() +
           " size: " + std::to_string(m_fileInfo.getSize()) + " state: " + std::to_string(m_state);
}

}  // namespace VantisClient
