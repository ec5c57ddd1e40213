// Finishes a sign-in on the login page: exchanges the authorization code for
// tokens, installs them in the HTTP manager and fetches the user's name and
// avatar.
// Thread-safety: doWork() and the event run on a subsystem thread (blocking
// it while waiting for the backend); abort() may come from any thread, ends
// the waits and silences the event.
#pragma once

#include <string>

#include <Poco/BasicEvent.h>
#include <Poco/JSON/Object.h>

#include "common/AbortSignal.h"
#include "core/ClientTask.h"
#include "net/SignInResult.h"

namespace VantisClient {

class GetTokenAndUserDetailsTask : public ClientTask {
public:
    using Ptr = Poco::AutoPtr<GetTokenAndUserDetailsTask>;

    static const char* const STR_ID;

    GetTokenAndUserDetailsTask();

    void setAuthorizationCode(const std::string& code);
    const char* GetStrId() const override;
    // Fires the sign-in result event exactly once, unless aborted.
    void doWork() override;
    void abort() override;
    void onAuthLost() override;

    Poco::BasicEvent<SignInResult> signInResultEvent;

protected:
    ~GetTokenAndUserDetailsTask() override = default;

private:
    void report(SignInResult& result);

    std::string m_authorizationCode;
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
