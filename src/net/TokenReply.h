// The sign-in server's answer to a token request (any grant), read and checked:
// the two tokens, their lifetime and the user's identity, or that the answer is
// unusable and whether the server refused the credentials. Lines about what was
// wrong go to the log; no token ever does.
// Thread-safety: a value; Read may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {
namespace Http {

struct TokenReply {
    // The longest access-token lifetime taken from a reply: ten years. A
    // longer one is no lifetime a backend means, and would overflow.
    static constexpr int64_t MAX_LIFETIME_SECONDS = 10LL * 365 * 24 * 3600;

    static TokenReply Read(int32_t status, const std::string& body);
    // Whether a token reply refuses the credentials themselves: 400 or 401,
    // with an OAuth error code that names them ("invalid_grant",
    // "invalid_client", "unauthorized_client") when the reply gives one.
    // Server errors, 429 and anything else leave the credentials valid.
    static bool IsRefusal(int32_t status, const std::string& errorCode);

    bool usable = false;
    bool refused = false;
    std::string accessToken;
    std::string refreshToken;
    std::string tokenType;  // empty when the reply names none
    int64_t lifetimeSeconds = 0;
    uint64_t identity = 0;
};

}  // namespace Http
}  // namespace VantisClient
