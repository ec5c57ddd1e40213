// Preferences filled from the fixed directories below the application-support
// root, and from the user's settings in "Config.json".
#pragma once

#include "common/IUserPreferences.h"

namespace VantisClient {

class UserPreferences : public IUserPreferences {
public:
    UserPreferences();

    std::string getDownloadsPath() override;
    std::string getStoragePath() override;
    std::string getSupportPath() override;
    std::string getLibraryPath() override;
    int32_t getDownloadSpeedLimit() override;
    // "partsInFlight" in "Config.json", read at each call; 2 when it is absent
    // or not a number.
    int32_t getPartsInFlight() override;

    static constexpr int32_t DEFAULT_PARTS_IN_FLIGHT = 2;
    static const char* const PARTS_IN_FLIGHT_KEY;

private:
    std::string m_downloadsPath;
    std::string m_storagePath;
    std::string m_libraryPath;
    std::string m_supportPath;
    int32_t m_downloadSpeedLimit = 0;
};

}  // namespace VantisClient
