// The one outcome of an install or update task. The first value recorded for
// a task is final.
#pragma once

#include <cstdint>

namespace VantisClient {

enum class EInstallResult : int32_t {
    Success = 0,
    Aborted = 1,
    GameInSession = 2,
    DiskAccessError = 3,
    OutOfDiskSpace = 4,
    ConnectionError = 5,
    NotAuthorized = 6,
    ServerError = 7,
    UnknownGame = 8,
};

// What the game card shows for the result; "" for a value outside the list.
const char* GetInstallResultText(EInstallResult result);

}  // namespace VantisClient
