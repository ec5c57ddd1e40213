// Fetches the signed-in user's name and avatar for both sign-in tasks.
// Thread-safety: blocks the calling task thread; safe from any task thread.
#pragma once

#include <cstdint>

#include "common/AbortSignal.h"
#include "net/SignInResult.h"

namespace VantisClient {

class UserDetailsRequest {
public:
    enum Outcome { NO_RESPONSE, UNREADABLE, NO_USERNAME, READ };

    // Fills `result.userName` and, when the reply has one, `result.avatar`;
    // each failure but NO_RESPONSE is logged here.
    static Outcome fetch(uint64_t userId, SignInResult& result, const AbortSignal::Ptr& abort);
};

}  // namespace VantisClient
