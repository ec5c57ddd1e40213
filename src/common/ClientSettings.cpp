#include "common/ClientSettings.h"

#include <sys/stat.h>

#include <cctype>

#include <Poco/Dynamic/Var.h>
#include <Poco/Exception.h>

#include "common/ApplicationEnvironment.h"
#include "common/Logger.h"
#include "common/TransferRate.h"
#include "common/Utilities.h"
#include "common/json/JsonFile.h"

namespace VantisClient {
namespace {

std::string configPath() {
    return Utilities::AppendPath(ApplicationEnvironment::GetApplicationSupportRootPath(), "Config.json");
}

template <typename Number>
std::optional<Number> storedNumber(const Poco::JSON::Object& settings, const char* key, int64_t low, int64_t high) {
    const Poco::Dynamic::Var value = settings.get(key);
    if (!value.isInteger()) return std::nullopt;
    try {
        const int64_t number = value.convert<int64_t>();
        if (number < low || number > high) return std::nullopt;
        return static_cast<Number>(number);
    } catch (const Poco::Exception&) {
        return std::nullopt;
    }
}

bool parseParts(const std::string& text, int32_t& parts, std::string& error) {
    const bool digits = !text.empty() && text.size() <= 2 &&
                        std::isdigit(static_cast<unsigned char>(text[0])) &&
                        (text.size() == 1 || std::isdigit(static_cast<unsigned char>(text[1])));
    parts = digits ? std::stoi(text) : 0;
    if (parts >= ClientSettings::MIN_PARTS_IN_FLIGHT && parts <= ClientSettings::MAX_PARTS_IN_FLIGHT) return true;
    error = "Parts in flight: '" + text + "' is no whole number from " +
            std::to_string(ClientSettings::MIN_PARTS_IN_FLIGHT) + " to " +
            std::to_string(ClientSettings::MAX_PARTS_IN_FLIGHT);
    return false;
}

bool checkFolder(const std::string& folder, std::string& error) {
    if (folder.empty() || folder[0] != '/') {
        error = "Install folder: '" + folder + "' is no absolute path (it must start with /)";
        return false;
    }
    struct stat status {};
    if (::stat(folder.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
        error = "Install folder: '" + folder + "' is a file, not a folder";
        return false;
    }
    return true;
}

}  // namespace

const char* const ClientSettings::DOWNLOAD_LIMIT_KEY = "downloadSpeedLimit";
const char* const ClientSettings::LIBRARY_KEY = "libraryPath";

ClientSettings ClientSettings::Stored() {
    ClientSettings result;
    Poco::JSON::Object::Ptr settings;
    if (!JsonFile::Read(configPath(), settings)) return result;
    result.downloadLimit = storedNumber<uint32_t>(*settings, DOWNLOAD_LIMIT_KEY, 0, UINT32_MAX);
    result.partsInFlight = storedNumber<int32_t>(*settings, UserPreferences::PARTS_IN_FLIGHT_KEY,
                                                 MIN_PARTS_IN_FLIGHT, MAX_PARTS_IN_FLIGHT);
    const Poco::Dynamic::Var library = settings->get(LIBRARY_KEY);
    std::string error;
    if (library.isString() && checkFolder(library.extract<std::string>(), error)) {
        result.libraryPath = library.extract<std::string>();
    }
    return result;
}

bool ClientSettings::FromInput(const std::string& rate, const std::string& parts, const std::string& folder,
                               ClientSettings& settings, std::string& error) {
    uint32_t bytesPerSecond = 0;
    if (!rate.empty() && !TransferRate::Parse(rate, bytesPerSecond, error)) {
        error = "Download limit: " + error;
        return false;
    }
    int32_t partCount = 0;
    if (!parseParts(parts, partCount, error) || !checkFolder(folder, error)) return false;
    settings.downloadLimit = bytesPerSecond;
    settings.partsInFlight = partCount;
    settings.libraryPath = folder;
    return true;
}

bool ClientSettings::store() const {
    const bool written = JsonFile::Update(configPath(), [this](Poco::JSON::Object& settings) {
        if (downloadLimit) settings.set(DOWNLOAD_LIMIT_KEY, static_cast<Poco::UInt64>(*downloadLimit));
        if (partsInFlight) settings.set(UserPreferences::PARTS_IN_FLIGHT_KEY, *partsInFlight);
        if (libraryPath) settings.set(LIBRARY_KEY, *libraryPath);
    });
    if (!written) Logger::LogWarning("The settings could not be saved in %s", configPath().c_str());
    return written;
}

EngineSettings ClientSettings::appliedTo(EngineSettings base) const {
    if (downloadLimit && !base.downloadSpeedLimitForThisRun) base.downloadSpeedLimit = *downloadLimit;
    if (partsInFlight) base.partsInFlight = *partsInFlight;
    if (libraryPath) base.libraryPath = *libraryPath;
    return base;
}

}  // namespace VantisClient
