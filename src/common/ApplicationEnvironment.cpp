#include "common/ApplicationEnvironment.h"

#include "common/Utilities.h"
#include "platform/Platform.h"

namespace VantisClient {

std::string ApplicationEnvironment::GetApplicationSupportRootPath() {
    return Platform::Paths()->applicationSupportRoot();
}

std::string ApplicationEnvironment::GetWebcachePath() {
    return Utilities::AppendPath(GetApplicationSupportRootPath(), "WebCache");
}

std::string ApplicationEnvironment::GetIconCachePath() {
    return Utilities::AppendPath(GetApplicationSupportRootPath(), "IconsCache");
}

std::string ApplicationEnvironment::GetDownloadsPath() {
    return Utilities::AppendPath(GetApplicationSupportRootPath(), "Downloads");
}

std::string ApplicationEnvironment::GetLogsPath() { return Utilities::AppendPath(GetApplicationSupportRootPath(), "Logs"); }

std::string ApplicationEnvironment::GetExecutableDirectoryPath() { return Platform::Paths()->bundleDirectory(); }

std::string ApplicationEnvironment::GetResourcePath(const std::string& name, const std::string& type) {
    return Utilities::AppendPath(GetExecutableDirectoryPath(), "share/vantis/" + name + "." + type);
}

std::string ApplicationEnvironment::GetWebcacheSeedPath() {
    return Utilities::AppendPath(GetExecutableDirectoryPath(), ".webcache.zip");
}

}  // namespace VantisClient
