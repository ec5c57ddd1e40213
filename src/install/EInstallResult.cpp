#include "install/EInstallResult.h"

namespace VantisClient {

const char* GetInstallResultText(EInstallResult result) {
    switch (result) {
        case EInstallResult::Success: return "Up to date";
        case EInstallResult::Aborted: return "Installation Aborted";
        case EInstallResult::GameInSession: return "Installation postponed: game in session";
        case EInstallResult::DiskAccessError: return "Installation failed: disk access problem";
        case EInstallResult::OutOfDiskSpace: return "Installation failed: out of disk space";
        case EInstallResult::ConnectionError: return "Installation failed: connection problem";
        case EInstallResult::NotAuthorized: return "Not authorized";
        case EInstallResult::ServerError: return "Server problem";
        case EInstallResult::UnknownGame: return "Game not known to Vantis";
    }
    return "";
}

}  // namespace VantisClient
