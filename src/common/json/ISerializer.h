// Reads and writes JSON documents.
#pragma once

#include <string>

#include <Poco/JSON/Object.h>

namespace VantisClient {

class ISerializer {
public:
    using json = Poco::JSON::Object::Ptr;

    virtual ~ISerializer() = default;
    virtual bool writeToFile(const json& document, const std::string& path) = 0;
    virtual bool readFromFile(json& document, const std::string& path) = 0;
    virtual bool readFromBuffer(json& document, const std::string& text) = 0;
};

}  // namespace VantisClient
