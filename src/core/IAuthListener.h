// What the shell hears about the user's authentication.
// Called only inside ClientCore::serviceCalls(), on the thread that calls it.
#pragma once

#include "net/SignInResult.h"

namespace VantisClient {

class IAuthListener {
public:
    virtual ~IAuthListener() = default;
    virtual void onSignedIn(SignInResult result) = 0;
    // `result.credentialsRejected` tells a refused credential from a backend
    // that could not be reached.
    virtual void onSignInFailed(SignInResult result) = 0;
    virtual void onSignedOut() = 0;
    // The stored authentication became invalid.
    virtual void onAuthLost() = 0;
};

}  // namespace VantisClient
