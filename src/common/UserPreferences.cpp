#include "common/UserPreferences.h"

#include <Poco/Dynamic/Var.h>
#include <Poco/Exception.h>

#include "common/ApplicationEnvironment.h"
#include "common/Utilities.h"
#include "common/json/JsonFile.h"

namespace VantisClient {

const char* const UserPreferences::PARTS_IN_FLIGHT_KEY = "partsInFlight";

UserPreferences::UserPreferences()
    : m_downloadsPath(ApplicationEnvironment::GetDownloadsPath()),
      m_storagePath(Utilities::AppendPath(ApplicationEnvironment::GetApplicationSupportRootPath(), "Storage")),
      m_libraryPath(Utilities::AppendPath(ApplicationEnvironment::GetApplicationSupportRootPath(), "Library")),
      m_supportPath(Utilities::AppendPath(ApplicationEnvironment::GetApplicationSupportRootPath(), "Support")) {}

std::string UserPreferences::getDownloadsPath() { return m_downloadsPath; }
std::string UserPreferences::getStoragePath() { return m_storagePath; }
std::string UserPreferences::getSupportPath() { return m_supportPath; }
std::string UserPreferences::getLibraryPath() { return m_libraryPath; }
int32_t UserPreferences::getDownloadSpeedLimit() { return m_downloadSpeedLimit; }

int32_t UserPreferences::getPartsInFlight() {
    Poco::JSON::Object::Ptr settings;
    const std::string path =
        Utilities::AppendPath(ApplicationEnvironment::GetApplicationSupportRootPath(), "Config.json");
    if (!JsonFile::Read(path, settings)) return DEFAULT_PARTS_IN_FLIGHT;
    const Poco::Dynamic::Var value = settings->get(PARTS_IN_FLIGHT_KEY);
    if (!value.isInteger()) return DEFAULT_PARTS_IN_FLIGHT;
    try {
        return value.convert<int32_t>();
    } catch (const Poco::Exception&) {
        // A number beyond 32 bits is no setting the downloader could use either.
        return DEFAULT_PARTS_IN_FLIGHT;
    }
}

}  // namespace VantisClient
