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
    if (remoteDefinition.isNull()) throw Poco::NullPointerException("remote definition of " + m_fullPath);
    const std::vector<uint32_t> sizes = partSizesOf(*remoteDefinition);
    // An interrupted download resumes with what it wrote, as long as those parts
    // are the definition's parts.
    const bool keepDoneParts = hasLayout(sizes, remoteDefinition->getSize());
    const FileParts done = m_parts;
    m_remoteDefinition = remoteDefinition;
    m_fileInfo.setSize(remoteDefinition->getSize());
    applyPartSizes(sizes);
    if (keepDoneParts) restoreDoneParts(done);
}

void DownloadingFileInfo::setupParts() {
    if (m_remoteDefinition.isNull()) throw Poco::NullPointerException("remote definition of " + m_fullPath);
    applyPartSizes(partSizesOf(*m_remoteDefinition));
}

std::vector<uint32_t> DownloadingFileInfo::partSizesOf(const RemoteFileDefinition& definition) const {
    if (!definition.getParts().empty()) {
        checkPartsCount(definition.getParts().size());
        return definition.getParts();
    }
    // Always the default size: the manifest's "partSize" does not cut plain files.
    const uint64_t partSize = RemoteFileDefinition::DEFAULT_PART_SIZE;
    const uint64_t size = definition.getSize();
    if (size == 0) return {};
    const uint64_t count = size / partSize + (size % partSize != 0 ? 1 : 0);
    checkPartsCount(count);
    std::vector<uint32_t> sizes(count, static_cast<uint32_t>(partSize));
    sizes.back() = static_cast<uint32_t>(size - partSize * (count - 1));
    return sizes;
}

void DownloadingFileInfo::applyPartSizes(const std::vector<uint32_t>& sizes) {
    clearParts();
    // An empty file keeps the part sizes it had: it has no parts to cut.
    if (sizes.empty()) return;
    m_parts.setPartInfo(static_cast<uint16_t>(sizes.size()));
    m_downloadingParts.setPartInfo(static_cast<uint16_t>(sizes.size()));
    m_partSizes = sizes;
}

bool DownloadingFileInfo::hasLayout(const std::vector<uint32_t>& sizes, uint64_t size) const {
    if (sizes.empty() || m_fileInfo.getSize() != size) return false;
    // A record read back from storage has no part sizes; its size and its
    // bitmap's words are what it knows of its layout.
    if (!m_partSizes.empty() && m_partSizes != sizes) return false;
    const uint32_t* words = nullptr;
    uint16_t wordCount = 0;
    m_parts.getElements(words, wordCount);
    const size_t count = sizes.size();
    if (wordCount != count / 32 + 1) return false;
    // A bit beyond the last part was written for another layout.
    const uint32_t usedBits = static_cast<uint32_t>(count % 32);
    return (words[wordCount - 1] >> usedBits) == 0;
}

void DownloadingFileInfo::restoreDoneParts(const FileParts& done) {
    const uint32_t* words = nullptr;
    uint16_t wordCount = 0;
    done.getElements(words, wordCount);
    for (uint16_t index = 0; index < wordCount; ++index) m_parts.setPartElement(index, words[index]);
}

void DownloadingFileInfo::checkPartsCount(uint64_t count) const {
    // The manifest reader refuses such files; never let a count wrap around.
    if (count > RemoteFileDefinition::MAX_PARTS_COUNT) {
        throw Poco::RangeException("too many parts for " + m_fileInfo.getPath());
    }
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
