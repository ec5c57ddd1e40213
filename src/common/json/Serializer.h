// Entry point for reading documents: text up to its first zero byte, parsed in
// the given format (only JSON exists) and, for an ISerializable, handed to it
// with the document's format version. Exceptions raised by the object while it
// reads itself reach the caller.
#pragma once

#include <string>

#include "common/json/ISerializable.h"

namespace VantisClient {

class Serializer {
public:
    enum SerializationType { JSON = 0 };

    static bool DeserializeFromBuffer(ISerializable::json& document, const char* text, int type);
    static bool DeserializeFromBuffer(ISerializable& object, const char* text, int type);
    static bool DeserializeFromBuffer(ISerializable::json& document, const std::string& text, int type);
    static bool DeserializeFromBuffer(ISerializable& object, const std::string& text, int type);
};

}  // namespace VantisClient
