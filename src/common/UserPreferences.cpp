#include "common/UserPreferences.h"

#include "common/ApplicationEnvironment.h"
#include "common/Utilities.h"

namespace VantisClient {

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

}  // namespace VantisClient
