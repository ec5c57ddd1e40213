#include "core/ProductManifestReader.h"

#include <exception>

#include "common/Logger.h"
#include "common/json/Serializer.h"

namespace VantisClient {

bool ProductManifestReader::Read(RemoteProductDefinition& definition, const std::string& contents) {
    try {
        return Serializer::DeserializeFromBuffer(definition, contents, Serializer::JSON);
    } catch (const std::exception& error) {
        Logger::LogError("Manifest of product %s holds a malformed value: %s", definition.getGameId().c_str(),
                         error.what());
        return false;
    }
}

}  // namespace VantisClient
