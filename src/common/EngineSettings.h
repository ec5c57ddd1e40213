// What the engine runs with: the user's preferences, read once when it starts
// and handed down to the parts that need them, so that no part reads them
// again half-way through an install.
#pragma once

#include <cstdint>
#include <string>

#include "common/IUserPreferences.h"
#include "common/UserPreferences.h"

namespace VantisClient {

struct EngineSettings {
    std::string downloadsPath;
    std::string storagePath;
    std::string supportPath;
    std::string libraryPath;
    // Bytes per second; 0 means no limit.
    uint32_t downloadSpeedLimit = 0;
    // The limit was given for this run (the command line): the stored
    // settings do not replace it.
    bool downloadSpeedLimitForThisRun = false;
    // As the user set it; the downloader keeps it within its own bounds.
    int32_t partsInFlight = UserPreferences::DEFAULT_PARTS_IN_FLIGHT;
    // How soon a failed backend status check is repeated, in milliseconds;
    // twice as long after each further failure, up to a minute.
    long statusRetryMs = 2000;

    static EngineSettings Read(IUserPreferences& preferences);
    // Read from the preferences of the user running the client: the fixed
    // directories below the application-support root and "Config.json".
    static EngineSettings OfThisUser();
};

}  // namespace VantisClient
