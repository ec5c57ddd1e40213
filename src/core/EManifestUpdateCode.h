// The outcome of comparing an installed product with its remote manifest.
// Listeners treat a failed check as nothing to do.
#pragma once

#include <cstdint>

namespace VantisClient {

enum class EManifestUpdateCode : int32_t {
    UpToDate = 0,
    UpdateNeeded = 1,
    CheckFailed = 2,
};

}  // namespace VantisClient
