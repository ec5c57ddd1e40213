#include "install/DownloadSpaceReservation.h"

#include <algorithm>

#include "common/Logger.h"
#include "common/ScopeTimer.h"
#include "common/Utilities.h"
#include "install/InstallPathGuard.h"

namespace VantisClient {
namespace {

const size_t ALLOCATION_LOG_INTERVAL = 1000;

}  // namespace

DownloadSpaceReservation::DownloadSpaceReservation(FileSystem& fileSystem, std::string downloadsPath,
                                                   const AbortSignal::Ptr& abortSignal)
    : m_fileSystem(fileSystem), m_downloadsPath(std::move(downloadsPath)), m_abortSignal(abortSignal) {}

Poco::Optional<EInstallResult> DownloadSpaceReservation::reserve(ProductFiles::DownloadingFiles& files) const {
    Logger::LogInfo("Allocating disk space...");
    ScopeTimer timer("Allocating disk space");
    if (files.empty()) return {};
    const uint64_t required = requiredSpace(files);
    const uint64_t free = Utilities::GetFreeSpaceForPath(files.begin()->second->getFullPath());
    if (required > 0 && free <= required) {
        Logger::LogError("There is not enought space for allocating files: required= %llu, free= %llu, aborting.",
                         static_cast<unsigned long long>(required), static_cast<unsigned long long>(free));
        return EInstallResult::OutOfDiskSpace;
    }
    size_t count = 0;
    for (auto& entry : files) {
        if (m_abortSignal->isRaised()) break;
        if (count++ % ALLOCATION_LOG_INTERVAL == 0) Logger::LogInfo("Allocating disk space...");
        DownloadingFileInfo& file = *entry.second;
        if (file.getState() != DownloadingFileInfo::Queued || file.getRemoteDefinition().isNull()) continue;
        if (!InstallPathGuard::isInside(m_downloadsPath, file.getFullPath(),
                                        InstallPathGuard::LastComponent::MayBeLink)) {
            return EInstallResult::DiskAccessError;
        }
        if (!allocateFile(file)) return EInstallResult::OutOfDiskSpace;
    }
    return {};
}

uint64_t DownloadSpaceReservation::requiredSpace(const ProductFiles::DownloadingFiles& files) const {
    // What an earlier run reserved is already taken from the free space; counted
    // again, every resumed install would need the game's size twice.
    uint64_t required = 0;
    for (const auto& entry : files) {
        const DownloadingFileInfo& file = *entry.second;
        if (file.getRemoteDefinition().isNull()) continue;
        const uint64_t size = file.getRemoteDefinition()->getSize();
        uint64_t allocated = 0;
        if (!m_fileSystem.getAllocatedSize(file.getFullPath(), allocated)) allocated = 0;
        required += size - std::min(size, allocated);
    }
    return required;
}

bool DownloadSpaceReservation::allocateFile(DownloadingFileInfo& file) const {
    const uint64_t size = file.getRemoteDefinition()->getSize();
    if (!m_fileSystem.createNewFile(file.getFullPath(), size)) {
        Logger::LogError("Failed to allocated disk space for file %s, aborting", file.getFullPath().c_str());
        return false;
    }
    file.getFileInfo().setHash("");
    file.getFileInfo().setSize(size);
    return true;
}

}  // namespace VantisClient
