// Reserves on disk the space of the files still to download: each queued
// file is created at its full size below the downloads directory, once the
// volume is known to hold what is not reserved yet (an earlier run's
// reservations are already taken from the free space).
// Thread-safety: none; used on the install thread.
#pragma once

#include <cstdint>
#include <string>

#include <Poco/Optional.h>

#include "common/AbortSignal.h"
#include "install/EInstallResult.h"
#include "install/FileSystem.h"
#include "model/ProductFiles.h"

namespace VantisClient {

class DownloadSpaceReservation {
public:
    DownloadSpaceReservation(FileSystem& fileSystem, std::string downloadsPath, const AbortSignal::Ptr& abortSignal);

    // Unset when every queued file has its space, or after an abort;
    // OutOfDiskSpace or DiskAccessError otherwise.
    Poco::Optional<EInstallResult> reserve(ProductFiles::DownloadingFiles& files) const;

private:
    uint64_t requiredSpace(const ProductFiles::DownloadingFiles& files) const;
    bool allocateFile(DownloadingFileInfo& file) const;

    FileSystem& m_fileSystem;
    const std::string m_downloadsPath;
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
