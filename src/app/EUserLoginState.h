// Where the user's sign-in stands, as the controller sees it.
#pragma once

#include <cstdint>

namespace VantisClient {

enum EUserLoginState : int32_t {
    SignedOut = 0,
    // Signing in at start with a stored refresh token.
    SigningInWithToken = 1,
    SignedIn = 2,
    // The start-up sign-in with the stored token failed.
    StartupSignInFailed = 3,
};

}  // namespace VantisClient
