#include "core/GetTokenAndUserDetailsTask.h"

#include "common/Logger.h"
#include "core/UserDetailsRequest.h"
#include "net/HttpManager.h"
#include "net/RequestFactory.h"
#include "net/SyncHTTPRequest.h"
#include "net/TokenReply.h"

namespace VantisClient {

const char* const GetTokenAndUserDetailsTask::STR_ID = "GetTokenAndUserDetailsTask";

GetTokenAndUserDetailsTask::GetTokenAndUserDetailsTask() : m_abortSignal(new AbortSignal) {}

void GetTokenAndUserDetailsTask::setAuthorizationCode(const std::string& code) { m_authorizationCode = code; }

const char* GetTokenAndUserDetailsTask::GetStrId() const { return STR_ID; }

void GetTokenAndUserDetailsTask::doWork() {
    ClientTask::doWork();
    SignInResult result;
    Http::HttpRequest request = Http::RequestFactory::getExchangeTokenRequest(m_authorizationCode);
    Http::HttpResponse response;
    if (SyncHTTPRequest::makeRequest(request, response, SyncHTTPRequest::ONE_ATTEMPT, false, m_abortSignal) !=
        SyncHTTPRequest::ANSWERED) {
        Logger::LogError("The authorization code exchange request got no answer.");
        return report(result);
    }
    // The code grant's answer reads as the password and refresh grants' do.
    const Http::TokenReply reply = Http::TokenReply::Read(response.statusCode, response.body);
    result.credentialsRejected = reply.refused;
    if (!reply.usable) return report(result);
    if (reply.tokenType.empty()) {
        Logger::LogError("Error getting token type from authorization code exchange request.");
        return report(result);
    }
    result.accessToken = reply.accessToken;
    result.tokenType = reply.tokenType;
    result.refreshToken = reply.refreshToken;
    result.userId = std::to_string(reply.identity);
    result.expiresIn = reply.lifetimeSeconds;
    const uint64_t userId = reply.identity;
    HttpManager* manager = HttpManager::Instance();
    if (manager == nullptr) {
        Logger::LogError("The tokens of the authorization code exchange cannot be used: the network layer is shut down.");
        return report(result);
    }
    manager->setAsAuthenticated(result.refreshToken, result.accessToken, static_cast<uint32_t>(result.expiresIn),
                                userId);
    const UserDetailsRequest::Outcome details = UserDetailsRequest::fetch(userId, result, m_abortSignal);
    // Without any answer the sign-in still stands, only without name and avatar.
    if (details == UserDetailsRequest::NO_RESPONSE) {
        Logger::LogWarning("The user details request got no answer; signed in without name and avatar.");
    }
    if (details == UserDetailsRequest::NO_RESPONSE || details == UserDetailsRequest::READ) {
        result.status = SignInResult::STATUS_SUCCESS;
    }
    report(result);
}

void GetTokenAndUserDetailsTask::report(SignInResult& result) { signInResultEvent.notify(this, result); }

void GetTokenAndUserDetailsTask::abort() {
    m_abortSignal->raise();
    signInResultEvent.clear();
}

void GetTokenAndUserDetailsTask::onAuthLost() {}

}  // namespace VantisClient
