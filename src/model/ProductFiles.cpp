#include "model/ProductFiles.h"

#include <Poco/Exception.h>

namespace VantisClient {

namespace {

const std::size_t BUCKETS = 64;

template <typename Pointer>
const Pointer& requireRecord(const Pointer& record) {
    if (record.isNull()) throw Poco::NullPointerException("product file record");
    return record;
}

}  // namespace

ProductFiles::ProductFiles() : m_installedFiles(BUCKETS), m_downloadingFiles(BUCKETS), m_remoteFiles(BUCKETS) {}

void ProductFiles::addInstalledFileInfo(const InstalledFileInfo::Ptr& file) {
    m_installedFiles.insert(InstalledFiles::PairType(requireRecord(file)->getFileInfo().getPath(), file));
}

void ProductFiles::addDownloadingFileInfo(const DownloadingFileInfo::Ptr& file) {
    m_downloadingFiles.insert(DownloadingFiles::PairType(requireRecord(file)->getFileInfo().getPath(), file));
}

void ProductFiles::insertOrUpdateInstalledFileInfo(const InstalledFileInfo::Ptr& file) {
    m_installedFiles[requireRecord(file)->getFileInfo().getPath()] = file;
}

void ProductFiles::addRemoteFileInfo(const RemoteFileDefinition::Ptr& definition) {
    m_remoteFiles[requireRecord(definition)->getPath()] = definition;
}

}  // namespace VantisClient
