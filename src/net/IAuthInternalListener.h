// Hears how the signed-in client's authentication goes. Called on the thread
// that delivers answers (the engine's loop thread), or on the caller's thread
// for a sign-out.
#pragma once

namespace VantisClient {
namespace Http {

class IAuthInternalListener {
public:
    virtual ~IAuthInternalListener() = default;
    // A sign-in from the signed-out state succeeded.
    virtual void OnAuthSuccess() = 0;
    // A sign-in from the signed-out state failed.
    virtual void OnAuthFailure() = 0;
    // The user was signed out, or the backend refused to refresh the token.
    virtual void OnAuthLost() = 0;
};

}  // namespace Http
}  // namespace VantisClient
