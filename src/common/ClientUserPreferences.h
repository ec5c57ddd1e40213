// The process-wide holder of the preferences the engine was started with.
// It does not own them. Set once before the engine's threads start; Set(nullptr)
// resets it between tests.
// Thread-safety: Get() and Set() may be called from any thread.
#pragma once

#include <atomic>

#include "common/IUserPreferences.h"

namespace VantisClient {

class ClientUserPreferences {
public:
    static void Set(IUserPreferences* preferences);
    static IUserPreferences* Get();

private:
    static std::atomic<IUserPreferences*> sm_preferences;
};

}  // namespace VantisClient
