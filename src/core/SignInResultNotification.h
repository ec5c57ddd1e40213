// The outcome of a sign-in, carried as a copy of the task's record.
#pragma once

#include "core/ClientNotification.h"
#include "net/SignInResult.h"

namespace VantisClient {

class SignInResultNotification : public ClientNotification {
public:
    explicit SignInResultNotification(const SignInResult& result);

    // Status 0: onSignedIn(copy); status 1: onSignInFailed(copy); any other status: nothing.
    void dispatchToClient(IClientListener* listener) override;

private:
    SignInResult m_result;
};

}  // namespace VantisClient
