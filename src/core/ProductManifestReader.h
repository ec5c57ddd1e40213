// Reads a product manifest fetched from the backend into a remote definition.
// The model's readers let a missing or mistyped value escape as a conversion
// exception; here it becomes a failed reading, logged with the game id, since
// a broken manifest is the server's problem and never a reason to end the
// client.
// Thread-safety: stateless; the definition belongs to the caller.
#pragma once

#include <string>

#include "model/RemoteProductDefinition.h"

namespace VantisClient {

class ProductManifestReader {
public:
    // False when the text is not a readable product manifest.
    static bool Read(RemoteProductDefinition& definition, const std::string& contents);
};

}  // namespace VantisClient
