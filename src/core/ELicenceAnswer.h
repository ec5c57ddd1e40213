// What the backend said, or failed to say, when asked whether the signed-in
// user owns a game. The kinds of failure are kept apart because each asks the
// user for something else: wait for the network, wait for the backend, sign
// in again, or buy the game.
// Thread-safety: plain values.
#pragma once

#include "install/EInstallResult.h"

namespace VantisClient {

enum class ELicenceAnswer {
    Owned,
    // The backend answered that the user holds no licence (403 or 404).
    NotOwned,
    // No answer: refused connection, time-out, failed TLS handshake.
    ConnectionProblem,
    // An answer that tells nothing: 5xx, an unexpected status, an unreadable body.
    ServerProblem,
    // Nobody is signed in any more (the token was refused and could not be renewed).
    SessionLost,
};

// The install result a failed check ends an install with; Success for Owned.
EInstallResult InstallResultOfLicence(ELicenceAnswer answer);
// A few words for the log line of a failed check.
const char* DescribeLicenceAnswer(ELicenceAnswer answer);

}  // namespace VantisClient
