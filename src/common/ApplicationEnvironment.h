// The fixed directories of the installation, below the application-support
// root that the platform chooses.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>

namespace VantisClient {

class ApplicationEnvironment {
public:
    static std::string GetApplicationSupportRootPath();
    static std::string GetWebcachePath();
    static std::string GetIconCachePath();
    static std::string GetDownloadsPath();
    static std::string GetLogsPath();
    // The install prefix (the directory above bin/), not the executable's directory.
    static std::string GetExecutableDirectoryPath();
    // A resource shipped with the application: <bundle>/share/vantis/<name>.<type>.
    static std::string GetResourcePath(const std::string& name, const std::string& type);
    // The archive the web cache is seeded from: <bundle>/.webcache.zip.
    static std::string GetWebcacheSeedPath();
};

}  // namespace VantisClient
