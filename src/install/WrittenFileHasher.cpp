#include "install/WrittenFileHasher.h"

#include "install/FilePartLayout.h"
#include "install/WrittenPartDigest.h"
#include "model/RemoteFileDefinition.h"

namespace VantisClient {

Md5Digest* WrittenFileHasher::digestFor(const DownloadingFileInfo& file, uint16_t index) {
    std::unique_ptr<Progress>& progress = m_files[file.getFileInfo().getPath()];
    if (!progress) progress.reset(new Progress);
    // Another part is feeding the digest meanwhile: this one waits its turn in the file.
    if (progress->feeding.isSpecified()) return nullptr;
    if (!catchUp(file, *progress)) {
        m_files.erase(file.getFileInfo().getPath());
        return nullptr;
    }
    if (progress->next != index) return nullptr;
    progress->feeding = index;
    return &progress->digest;
}

void WrittenFileHasher::partWritten(const DownloadingFileInfo& file, uint16_t index) {
    auto found = m_files.find(file.getFileInfo().getPath());
    if (found == m_files.end()) return;
    Progress& progress = *found->second;
    if (progress.feeding.isSpecified() && progress.feeding.value() == index) {
        progress.next = static_cast<uint16_t>(index + 1);
        progress.feeding.clear();
    }
}

Poco::Optional<std::string> WrittenFileHasher::finish(const DownloadingFileInfo& file) {
    const std::string path = file.getFileInfo().getPath();
    auto found = m_files.find(path);
    if (found == m_files.end()) return {};
    Progress& progress = *found->second;
    Poco::Optional<std::string> hash;
    if (catchUp(file, progress) && progress.next == file.getPartSizes().size()) hash = progress.digest.finish();
    m_files.erase(found);
    return hash;
}

void WrittenFileHasher::partFailed(const DownloadingFileInfo& file, uint16_t index) {
    auto found = m_files.find(file.getFileInfo().getPath());
    if (found == m_files.end()) return;
    const Poco::Optional<uint16_t>& feeding = found->second->feeding;
    // Only the part that fed the digest spoilt it; the others never touched it.
    if (feeding.isSpecified() && feeding.value() == index) m_files.erase(found);
}

bool WrittenFileHasher::catchUp(const DownloadingFileInfo& file, Progress& progress) {
    // A part handed out but never reported written fed the digest nothing certain.
    if (progress.feeding.isSpecified()) return false;
    const FileParts& written = file.getParts();
    while (progress.next < file.getPartSizes().size() && written.getPartState(progress.next)) {
        if (!feedFromFile(file, progress.next, progress.digest)) return false;
        ++progress.next;
    }
    return true;
}

bool WrittenFileHasher::feedFromFile(const DownloadingFileInfo& file, uint16_t index, Md5Digest& digest) {
    const RemoteFileDefinition& remote = *file.getRemoteDefinition();
    FilePartLayout::Part layout;
    return FilePartLayout::describePart(remote.getSize(), file.getPartSizes(), remote.isZip(), index, layout) &&
           WrittenPartDigest::Feed(file.getFullPath(), layout.destinationOffset, layout.expectedSize, digest);
}

}  // namespace VantisClient
