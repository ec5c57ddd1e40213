// The outcome of a sign-in, filled by the sign-in tasks and passed by value to
// the engine and on to the listener.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {

struct SignInResult {
    static constexpr int32_t STATUS_SUCCESS = 0;
    static constexpr int32_t STATUS_FAILURE = 1;

    int32_t status = STATUS_FAILURE;
    std::string accessToken;
    std::string refreshToken;
    std::string tokenType;
    std::string userId;
    // UTF-8.
    std::string userName;
    // UTF-8 address of the user's avatar picture.
    std::string avatar;
    // Access-token lifetime in seconds.
    int64_t expiresIn = 0;
    // The backend refused the credentials themselves (a token reply with an
    // error, or 400/401), as opposed to a failure to reach it: only then is a
    // stored refresh token worthless.
    bool credentialsRejected = false;
};

}  // namespace VantisClient
