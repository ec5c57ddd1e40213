#include "core/GetTokenAndUserDetailsTask.h"

#include <Poco/NumberParser.h>

#include "common/Logger.h"
#include "common/json/Serializer.h"
#include "core/UserDetailsRequest.h"
#include "net/HttpManager.h"
#include "net/RequestFactory.h"
#include "net/SyncHTTPRequest.h"

namespace VantisClient {
namespace {

// Every key is looked up, so that each missing one is named in the log.
bool readText(const Poco::JSON::Object::Ptr& reply, const char* key, const char* missingError, std::string& text) {
    if (!reply->has(key) || reply->isNull(key)) {
        Logger::LogError("%s", missingError);
        return false;
    }
    text = reply->get(key).toString();
    return true;
}

}  // namespace

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
        return report(result);
    }
    ISerializable::json reply;
    result.credentialsRejected = response.statusCode == 400 || response.statusCode == 401;
    if (!Serializer::DeserializeFromBuffer(reply, response.body, Serializer::JSON) ||
        !readExchangeReply(reply, result)) {
        return report(result);
    }
    Poco::UInt64 userId = 0;
    HttpManager* manager = HttpManager::Instance();
    if (!Poco::NumberParser::tryParseUnsigned64(result.userId, userId, ',') || manager == nullptr) {
        return report(result);
    }
    manager->setAsAuthenticated(result.refreshToken, result.accessToken, static_cast<uint32_t>(result.expiresIn),
                                userId);
    const UserDetailsRequest::Outcome details = UserDetailsRequest::fetch(userId, result, m_abortSignal);
    // Without any answer the sign-in still stands, only without name and avatar.
    if (details == UserDetailsRequest::NO_RESPONSE || details == UserDetailsRequest::READ) {
        result.status = SignInResult::STATUS_SUCCESS;
    }
    report(result);
}

bool GetTokenAndUserDetailsTask::readExchangeReply(const Poco::JSON::Object::Ptr& reply, SignInResult& result) {
    std::string expiresIn;
    bool complete = readText(reply, "access_token", "Error getting access token from authorization code exchange request.",
                             result.accessToken);
    complete &= readText(reply, "token_type", "Error getting token type from authorization code exchange request.",
                         result.tokenType);
    complete &= readText(reply, "refresh_token", "Error getting refresh token from authorization code exchange request.",
                         result.refreshToken);
    complete &= readText(reply, "user_id", "Error user ID token from authorization code exchange request.",
                         result.userId);
    complete &= readText(reply, "expires_in", "Error expires in token from authorization code exchange request.",
                         expiresIn);
    Poco::Int64 seconds = 0;
    if (!complete || !Poco::NumberParser::tryParse64(expiresIn, seconds) || seconds < 0) return false;
    result.expiresIn = seconds;
    return true;
}

void GetTokenAndUserDetailsTask::report(SignInResult& result) { signInResultEvent.notify(this, result); }

void GetTokenAndUserDetailsTask::abort() {
    m_abortSignal->raise();
    signInResultEvent.clear();
}

void GetTokenAndUserDetailsTask::onAuthLost() {}

}  // namespace VantisClient
