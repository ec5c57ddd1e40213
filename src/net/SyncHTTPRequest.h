// Blocking requests for tasks: send through the HTTP manager, then wait for
// the answer, resending after time-outs as the policy allows. Every wait is
// bounded, ends early when the task's abort signal is raised or the manager
// shuts down, and must never run on the thread that delivers answers.
// Thread-safety: safe from any task thread.
#pragma once

#include <cstdint>
#include <string>

#include "common/AbortSignal.h"
#include "net/HttpRequest.h"
#include "net/HttpResponse.h"

namespace VantisClient {

// How many attempts a blocking request makes: 5 and 100 mean that many, any
// other value one.
using SyncRequestPolicy = int;

class SyncHTTPRequest {
public:
    enum Result { ANSWERED = 1, FAILED = 2 };

    static const SyncRequestPolicy ONE_ATTEMPT = 1;
    static const SyncRequestPolicy FIVE_ATTEMPTS = 5;
    static const SyncRequestPolicy HUNDRED_ATTEMPTS = 100;

    // ANSWERED when a response arrived (any status; `response` holds it),
    // FAILED when the transport failed, every attempt timed out, the abort
    // signal was raised or the manager shut down. `request` becomes the copy
    // the client delivered, with the headers it added.
    static int makeRequest(Http::HttpRequest& request, Http::HttpResponse& response, SyncRequestPolicy policy,
                           bool authenticated, const AbortSignal::Ptr& abort = AbortSignal::Ptr());
    // Signs in with a refresh token; ANSWERED with the new refresh token and
    // the user's identity, else FAILED. `rejected` tells whether the backend
    // refused the token (rather than could not be reached).
    static int makeSignInRequest(const std::string& token, std::string& refreshToken, uint64_t& userId,
                                 bool& rejected, const AbortSignal::Ptr& abort = AbortSignal::Ptr());

private:
    static bool mustStop(const AbortSignal::Ptr& abort);
};

}  // namespace VantisClient
