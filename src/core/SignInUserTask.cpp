#include "core/SignInUserTask.h"

#include <Poco/NumberFormatter.h>

#include "common/Logger.h"
#include "core/ClientCore.h"
#include "core/UserDetailsRequest.h"
#include "net/SyncHTTPRequest.h"

namespace VantisClient {

const char* const SignInUserTask::STR_ID = "SignInUserTask";

SignInUserTask::SignInUserTask(const std::string& refreshToken, int32_t loginState)
    : m_refreshToken(refreshToken), m_loginState(loginState), m_abortSignal(new AbortSignal) {}

const char* SignInUserTask::GetStrId() const { return STR_ID; }

void SignInUserTask::doWork() {
    ClientTask::doWork();
    SignInResult result;
    uint64_t userId = 0;
    bool rejected = false;
    if (m_loginState != LOGIN_WITH_REFRESH_TOKEN ||
        SyncHTTPRequest::makeSignInRequest(m_refreshToken, result.refreshToken, userId, rejected, m_abortSignal) !=
            SyncHTTPRequest::ANSWERED) {
        Logger::LogError("Could not perform sign in request (refresh token), or request has failed.");
        result.credentialsRejected = rejected;
        return report(result);
    }
    result.userId = Poco::NumberFormatter::format(userId);
    const UserDetailsRequest::Outcome details = UserDetailsRequest::fetch(userId, result, m_abortSignal);
    if (details == UserDetailsRequest::NO_RESPONSE) {
        if (ClientCore::isStarted()) ClientCore::instance()->signOut();
        Logger::LogError("Could not perform get user details request, or request has failed.");
    }
    if (details == UserDetailsRequest::READ) result.status = SignInResult::STATUS_SUCCESS;
    report(result);
}

void SignInUserTask::report(SignInResult& result) { signInResultEvent.notify(this, result); }

void SignInUserTask::abort() {
    m_abortSignal->raise();
    signInResultEvent.clear();
}

void SignInUserTask::onAuthLost() {}

}  // namespace VantisClient
