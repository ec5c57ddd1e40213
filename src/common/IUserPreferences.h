// The user's choices of where things go and how fast downloads may run.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {

class IUserPreferences {
public:
    virtual ~IUserPreferences() = default;
    virtual std::string getDownloadsPath() = 0;
    virtual std::string getStoragePath() = 0;
    virtual std::string getSupportPath() = 0;
    virtual std::string getLibraryPath() = 0;
    // Bytes per second; 0 means no limit.
    virtual int32_t getDownloadSpeedLimit() = 0;
    // How many parts of a download may be requested at once, as the user set it;
    // the downloader keeps the value within its own bounds.
    virtual int32_t getPartsInFlight() = 0;
};

}  // namespace VantisClient
