// JSON text to Poco objects. A top-level value that is not an object fails.
// Failures are logged once ("Error: %s.") and come back as false.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include "common/json/ISerializer.h"

namespace VantisClient {

class JsonSerializer : public ISerializer {
public:
    bool writeToFile(const json& document, const std::string& path) override;
    bool readFromFile(json& document, const std::string& path) override;
    bool readFromBuffer(json& document, const std::string& text) override;
};

}  // namespace VantisClient
