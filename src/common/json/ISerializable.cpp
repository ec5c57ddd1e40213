#include "common/json/ISerializable.h"

#include <Poco/Exception.h>

namespace VantisClient {

uint64_t ISerializable::FetchVersion(const json& document) {
    if (document.isNull()) throw Poco::NullPointerException("JSON document");
    if (!document->has("version")) return 1;
    return document->getValue<uint32_t>("version");
}

}  // namespace VantisClient
