// Where a product stands on this machine. The names are the texts used in logs.
#pragma once

#include <cstdint>

namespace VantisClient {

enum class EProductState : int32_t {
    None = 0,
    Installing = 1,
    Updating = 2,
    Installed = 3,
    Offline = 4,
    UpdatingUnplayable = 5,
    OfflineUnplayable = 6,
};

// "None" ... "OfflineUnplayable"; "Unknown" for any other value.
const char* GetProductStateName(EProductState state);

}  // namespace VantisClient
