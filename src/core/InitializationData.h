// What the engine tells the listener once its start-up group has run.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {

struct InitializationData {
    // The selected product is missing or has no local path.
    static constexpr int32_t RESULT_PRODUCT_UNUSABLE = 0;
    static constexpr int32_t RESULT_READY = 2;

    int32_t result = RESULT_READY;
    std::string selectedGameId;
    // Empty until a sign-in succeeds.
    std::wstring userName;
    std::wstring avatar;
    // 0 not yet known, 1 online, 2 offline.
    int32_t apiStatus = 0;
};

}  // namespace VantisClient
