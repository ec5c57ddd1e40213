#include "app/DefaultSettings.h"

#include "common/Logger.h"
#include "common/json/JsonFile.h"

namespace VantisClient {

const char* const DefaultSettings::REMOVED_SETTING = "WebKitDeveloperExtras";

bool DefaultSettings::Register(const std::string& defaultsPath, const std::string& configPath) {
    Poco::JSON::Object::Ptr defaults;
    if (!JsonFile::Read(defaultsPath, defaults)) {
        Logger::LogWarning("The default settings in %s could not be read; none registered.", defaultsPath.c_str());
        return false;
    }
    const bool written = JsonFile::Update(configPath, [&defaults](Poco::JSON::Object& settings) {
        for (const auto& entry : *defaults) {
            if (!settings.has(entry.first)) settings.set(entry.first, entry.second);
        }
        settings.remove(REMOVED_SETTING);
    });
    if (!written) Logger::LogWarning("The default settings could not be registered in %s.", configPath.c_str());
    return written;
}

}  // namespace VantisClient
