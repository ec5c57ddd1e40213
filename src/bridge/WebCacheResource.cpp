#include "bridge/WebCacheResource.h"

#include <Poco/Exception.h>
#include <Poco/String.h>
#include <Poco/URI.h>

#include "bridge/WebCacheLayout.h"
#include "common/Logger.h"
#include "model/InstallPathRules.h"

namespace VantisClient {

namespace {

bool sameOrigin(const Poco::URI& request, const Poco::URI& base) {
    return request.getScheme() == "http" && base.getScheme() == "http" &&
           Poco::icompare(request.getHost(), base.getHost()) == 0 && request.getPort() == base.getPort();
}

}  // namespace

std::string WebCacheResource::RelativePath(const std::string& address, const std::string& baseAddress) {
    Poco::URI request;
    Poco::URI base;
    try {
        request = Poco::URI(address);
        base = Poco::URI(baseAddress);
    } catch (const Poco::Exception&) {
        // Not an address the web cache could hold.
        return std::string();
    }
    if (!sameOrigin(request, base)) return std::string();
    const std::string& path = request.getPath();
    const std::string& basePath = base.getPath();
    if (basePath.empty() || basePath.back() != '/' || path.compare(0, basePath.size(), basePath) != 0) {
        return std::string();
    }
    const std::string relative = path.substr(basePath.size());
    // The base itself names no file.
    if (relative.empty()) return std::string();
    if (!WebCacheLayout::IsSafeRelativePath(relative)) {
        Logger::LogWarning("Not caching %s: '%s' is no plain path below the game card's address.", address.c_str(),
                           InstallPathRules::Printable(relative).c_str());
        return std::string();
    }
    return relative;
}

}  // namespace VantisClient
