// The step an install or update task is in; carried by every progress report.
// The values only move forward during a task.
#pragma once

#include <cstdint>

namespace VantisClient {

enum class EInstallStatusCode : int32_t {
    NotStarted = 0,
    Initializing = 1,
    Preparing = 2,
    ScanningInstalledFiles = 3,
    AllocatingDiskSpace = 4,
    ScanningDownloads = 5,
    Downloading = 6,
    UpdatingFiles = 7,
    // 8 has no name: no step posts it.
    InstallingComponents = 9,
    Complete = 10,
};

// The step's name for logs; "" for 8 and for any value outside the list.
const char* GetInstallStatusCodeName(EInstallStatusCode code);

}  // namespace VantisClient
