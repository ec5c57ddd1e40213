#include "install/DirtyFilesSerializer.h"

#include "common/Logger.h"

namespace VantisClient {

namespace {

// A record read back from storage has no definition until one is attached; its
// own path is the same relative path.
const std::string& relativePathOf(const DownloadingFileInfo& file) {
    const RemoteFileDefinition::Ptr& definition = file.getRemoteDefinition();
    return definition.isNull() ? file.getFileInfo().getPath() : definition->getPath();
}

}  // namespace

DirtyFilesSerializer::DirtyFilesSerializer(ProductFilesSynchronizerCallbackInterface& callback,
                                           const AbortSignal::Ptr& abortSignal)
    : m_callback(callback), m_abortSignal(abortSignal) {}

void DirtyFilesSerializer::queue(const InstalledFileInfo::Ptr& file) {
    if (m_installedKeys.insert(file->getFileInfo().getPath()).second) m_installedQueue.push_back(file);
}

void DirtyFilesSerializer::queue(const DownloadingFileInfo::Ptr& file) {
    if (m_downloadingKeys.insert(relativePathOf(*file)).second) m_downloadingQueue.push_back(file);
}

void DirtyFilesSerializer::process() {
    if (!m_lastFlush.isElapsed(FLUSH_INTERVAL_US)) return;
    Logger::LogInfo("FilesSerializer flushing due to %ds elapsed", static_cast<int>(FLUSH_INTERVAL_US / 1000000));
    flush();
}

void DirtyFilesSerializer::flush() {
    flushQueue(m_installedKeys, m_installedQueue);
    flushQueue(m_downloadingKeys, m_downloadingQueue);
    m_lastFlush.update();
}

template <class Record>
void DirtyFilesSerializer::flushQueue(Poco::HashSet<std::string>& keys, std::vector<Poco::SharedPtr<Record>>& records) {
    // When the pipeline is aborted the records are dropped unwritten.
    if (!records.empty() && !m_abortSignal->isRaised()) m_callback.serializeFilesStates(records);
    records.clear();
    keys.clear();
}

}  // namespace VantisClient
