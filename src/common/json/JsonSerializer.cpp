#include "common/json/JsonSerializer.h"

#include <fstream>
#include <sstream>

#include <Poco/Exception.h>
#include <Poco/JSON/ParseHandler.h>
#include <Poco/JSON/Parser.h>

#include "common/Logger.h"
#include "common/ScopeTimer.h"

namespace VantisClient {
bool JsonSerializer::writeToFile(const json& document, const std::string& path) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        Logger::LogError("Error: %s.", ("Cannot open file for writing: " + path).c_str());
        return false;
    }
    document->stringify(file);
    return static_cast<bool>(file.flush());
}

bool JsonSerializer::readFromFile(json& document, const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        Logger::LogError("Error: %s.", ("Cannot open file for reading: " + path).c_str());
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    return readFromBuffer(document, text.str());
}

bool JsonSerializer::readFromBuffer(json& document, const std::string& text) {
    try {
        Poco::Dynamic::Var parsed;
        {
            ScopeTimer timer("JsonSerializer - read json from buffer");
            Poco::JSON::Parser parser(new Poco::JSON::ParseHandler(false));
            parsed = parser.parse(text);
        }
        {
            ScopeTimer timer("JsonSerializer - extracting Poco::JSON::Object::Ptr from Poco::Dynamic::Var");
            document = parsed.extract<Poco::JSON::Object::Ptr>();
        }
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("Error: %s.", e.displayText().c_str());
        return false;
    }
}

}  // namespace VantisClient
