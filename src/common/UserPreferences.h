// Preferences filled from the fixed directories below the application-support root.
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

private:
    std::string m_downloadsPath;
    std::string m_storagePath;
    std::string m_libraryPath;
    std::string m_supportPath;
    int32_t m_downloadSpeedLimit = 0;
};

}  // namespace VantisClient
