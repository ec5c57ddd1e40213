#include "core/ELicenceAnswer.h"

namespace VantisClient {

EInstallResult InstallResultOfLicence(ELicenceAnswer answer) {
    switch (answer) {
        case ELicenceAnswer::Owned: return EInstallResult::Success;
        case ELicenceAnswer::ConnectionProblem: return EInstallResult::ConnectionError;
        case ELicenceAnswer::ServerProblem: return EInstallResult::ServerError;
        case ELicenceAnswer::NotOwned:
        case ELicenceAnswer::SessionLost: break;
    }
    return EInstallResult::NotAuthorized;
}

const char* DescribeLicenceAnswer(ELicenceAnswer answer) {
    switch (answer) {
        case ELicenceAnswer::Owned: return "the user owns it";
        case ELicenceAnswer::NotOwned: return "user is not authorized";
        case ELicenceAnswer::ConnectionProblem: return "the backend could not be reached";
        case ELicenceAnswer::ServerProblem: return "the backend gave no usable answer";
        case ELicenceAnswer::SessionLost: return "the session was lost; the user must sign in again";
    }
    return "";
}

}  // namespace VantisClient
