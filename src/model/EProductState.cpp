#include "model/EProductState.h"

namespace VantisClient {

const char* GetProductStateName(EProductState state) {
    switch (state) {
        case EProductState::None: return "None";
        case EProductState::Installing: return "Installing";
        case EProductState::Updating: return "Updating";
        case EProductState::Installed: return "Installed";
        case EProductState::Offline: return "Offline";
        case EProductState::UpdatingUnplayable: return "UpdatingUnplayable";
        case EProductState::OfflineUnplayable: return "OfflineUnplayable";
    }
    return "Unknown";
}

}  // namespace VantisClient
