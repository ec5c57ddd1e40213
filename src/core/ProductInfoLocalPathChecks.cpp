#include "core/ProductInfoLocalPathChecks.h"

#include <Poco/Exception.h>
#include <Poco/File.h>

#include "common/Logger.h"

namespace VantisClient {

namespace {

bool entryExists(const std::string& path) {
    try {
        return Poco::File(path).exists();
    } catch (const Poco::Exception&) {
        return false;
    }
}

}  // namespace

void ProductInfoLocalPathChecks(ProductInfo& product, const std::string& path) {
    product.setLocalPath(path);
    if (path.empty() || entryExists(path)) return;
    Logger::LogWarning("Failed checking product %s directory '%s'", product.getGameId().c_str(), path.c_str());
    product.setLocalPath("");
}

}  // namespace VantisClient
