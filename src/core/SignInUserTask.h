// Signs in with the refresh token stored from an earlier run and fetches the
// user's name and avatar.
// Thread-safety: doWork() and the event run on a subsystem thread (blocking
// it while waiting for the backend); abort() may come from any thread, ends
// the waits and silences the event.
#pragma once

#include <string>

#include <Poco/BasicEvent.h>

#include "common/AbortSignal.h"
#include "core/ClientTask.h"
#include "net/SignInResult.h"

namespace VantisClient {

class SignInUserTask : public ClientTask {
public:
    using Ptr = Poco::AutoPtr<SignInUserTask>;

    static const char* const STR_ID;
    // The only login state the engine passes: sign in with the refresh token.
    static const int32_t LOGIN_WITH_REFRESH_TOKEN = 1;

    SignInUserTask(const std::string& refreshToken, int32_t loginState);

    const char* GetStrId() const override;
    // Fires the sign-in result event exactly once, unless aborted.
    void doWork() override;
    void abort() override;
    void onAuthLost() override;

    Poco::BasicEvent<SignInResult> signInResultEvent;

protected:
    ~SignInUserTask() override = default;

private:
    void report(SignInResult& result);

    std::string m_refreshToken;
    int32_t m_loginState;
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
