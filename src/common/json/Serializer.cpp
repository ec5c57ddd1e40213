#include "common/json/Serializer.h"

#include "common/json/JsonSerializer.h"

namespace VantisClient {

bool Serializer::DeserializeFromBuffer(ISerializable::json& document, const char* text, int type) {
    if (type != JSON) return false;
    return JsonSerializer().readFromBuffer(document, std::string(text));
}

bool Serializer::DeserializeFromBuffer(ISerializable& object, const char* text, int type) {
    if (type != JSON) return false;
    ISerializable::json document;
    if (!DeserializeFromBuffer(document, text, type)) return false;
    return object.deserializeFromVersion(document, ISerializable::FetchVersion(document));
}

bool Serializer::DeserializeFromBuffer(ISerializable::json& document, const std::string& text, int type) {
    return DeserializeFromBuffer(document, text.c_str(), type);
}

bool Serializer::DeserializeFromBuffer(ISerializable& object, const std::string& text, int type) {
    return DeserializeFromBuffer(object, text.c_str(), type);
}

}  // namespace VantisClient
