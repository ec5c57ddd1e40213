#include "common/EngineSettings.h"

namespace VantisClient {

EngineSettings EngineSettings::Read(IUserPreferences& preferences) {
    EngineSettings settings;
    settings.downloadsPath = preferences.getDownloadsPath();
    settings.storagePath = preferences.getStoragePath();
    settings.supportPath = preferences.getSupportPath();
    settings.libraryPath = preferences.getLibraryPath();
    const int32_t limit = preferences.getDownloadSpeedLimit();
    settings.downloadSpeedLimit = limit > 0 ? static_cast<uint32_t>(limit) : 0;
    settings.partsInFlight = preferences.getPartsInFlight();
    return settings;
}

EngineSettings EngineSettings::OfThisUser() {
    UserPreferences preferences;
    return Read(preferences);
}

}  // namespace VantisClient
