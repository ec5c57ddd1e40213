#include "core/ProductManifestReader.h"

#include <exception>

#include "common/Logger.h"
#include "common/json/Serializer.h"
#include "net/HttpTasks.h"

namespace VantisClient {

ProductManifestReader::Status ProductManifestReader::Fetch(RemoteProductDefinition& definition,
                                                           const AbortSignal::Ptr& abort) {
    bool notFound = false;
    bool refused = false;
    const std::string contents = Http::Tasks::getManifestContents(definition.getGameId(), notFound, abort, &refused);
    if (contents.empty()) return notFound ? Status::UnknownGame : refused ? Status::RefusedLink : Status::NotFetched;
    return Read(definition, contents) ? Status::Read : Status::Unreadable;
}

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
