// Fetches a game's product manifest from the backend and reads it into a remote
// definition; the one path by which the install, the update check and the offer
// check learn what the backend offers. The model's readers let a missing or
// mistyped value escape as a conversion exception; here it becomes a failed
// reading, logged with the game id, since a broken manifest is the server's
// problem and never a reason to end the client. Each caller keeps its own log
// line for what a failed fetch means to it.
// Thread-safety: stateless; Fetch blocks, so call it from task threads only.
#pragma once

#include <string>

#include "common/AbortSignal.h"
#include "model/RemoteProductDefinition.h"

namespace VantisClient {

class ProductManifestReader {
public:
    enum class Status {
        Read,
        UnknownGame,  // the backend does not know the game (404)
        RefusedLink,  // the backend handed out a link the client may not use
        NotFetched,   // no manifest came: the connection or the backend failed
        Unreadable,   // a manifest came that is no readable product manifest
    };

    // Fetches the manifest of the definition's game and reads it into the
    // definition; `abort` cuts the fetch short (NotFetched).
    static Status Fetch(RemoteProductDefinition& definition, const AbortSignal::Ptr& abort);
    // False when the text is not a readable product manifest.
    static bool Read(RemoteProductDefinition& definition, const std::string& contents);
};

}  // namespace VantisClient
