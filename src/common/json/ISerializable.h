// An object that reads itself from a JSON document written in a given format version.
#pragma once

#include <cstdint>

#include <Poco/JSON/Object.h>

namespace VantisClient {

class ISerializable {
public:
    using json = Poco::JSON::Object::Ptr;

    virtual uint64_t getCurrentVersion() = 0;
    virtual void serialize(json& document) = 0;
    virtual bool deserializeFromVersion(const json& document, uint64_t version) = 0;
    virtual ~ISerializable() = default;

    // The document's format version: 1 without a "version" key. A null document
    // throws Poco::NullPointerException; a "version" that does not convert to an
    // unsigned 32-bit number throws the conversion's exception.
    static uint64_t FetchVersion(const json& document);
};

}  // namespace VantisClient
