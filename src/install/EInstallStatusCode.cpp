#include "install/EInstallStatusCode.h"

namespace VantisClient {

const char* GetInstallStatusCodeName(EInstallStatusCode code) {
    switch (code) {
        case EInstallStatusCode::NotStarted: return "NotStarted";
        case EInstallStatusCode::Initializing: return "Initializing";
        case EInstallStatusCode::Preparing: return "Preparing";
        case EInstallStatusCode::ScanningInstalledFiles: return "ScanningInstalledFiles";
        case EInstallStatusCode::AllocatingDiskSpace: return "AllocatingDiskSpace";
        case EInstallStatusCode::ScanningDownloads: return "ScanningDownloads";
        case EInstallStatusCode::Downloading: return "Downloading";
        case EInstallStatusCode::UpdatingFiles: return "UpdatingFiles";
        case EInstallStatusCode::InstallingComponents: return "InstallingComponents";
        case EInstallStatusCode::Complete: return "Complete";
    }
    return "";
}

}  // namespace VantisClient
