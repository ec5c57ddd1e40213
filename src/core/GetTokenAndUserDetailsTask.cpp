#include "core/GetTokenAndUserDetailsTask.h"

#include <Poco/NumberParser.h>

#include "common/Logger.h"
#include "common/json/Serializer.h"
#include "core/UserDetailsRequest.h"
#include "net/AuthenticatedHttpClient.h"
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
        Logger::LogError("The authorization code exchange request got no answer.");
        return report(result);
    }
    ISerializable::json reply;
    if (!Serializer::DeserializeFromBuffer(reply, response.body, Serializer::JSON)) {
        Logger::LogError("Could not deserialize the authorization code exchange reply (status %d).",
                         static_cast<int>(response.statusCode));
        result.credentialsRejected = Http::AuthenticatedHttpClient::IsRefusal(response.statusCode, "");
        return report(result);
    }
    result.credentialsRejected = Http::AuthenticatedHttpClient::IsRefusal(response.statusCode, errorCodeOf(reply));
    if (!readExchangeReply(reply, result)) return report(result);
    Poco::UInt64 userId = 0;
    if (!Poco::NumberParser::tryParseUnsigned64(result.userId, userId, ',')) {
        Logger::LogError("The user ID %s of the authorization code exchange reply is not a number.",
                         result.userId.c_str());
        return report(result);
    }
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

std::string GetTokenAndUserDetailsTask::errorCodeOf(const Poco::JSON::Object::Ptr& reply) {
    return reply->has("error") && reply->get("error").isString() ? reply->getValue<std::string>("error")
                                                                  : std::string();
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
    if (!complete) return false;
    Poco::Int64 seconds = 0;
    if (!Poco::NumberParser::tryParse64(expiresIn, seconds) || seconds < 0 ||
        seconds > Http::AuthenticatedHttpClient::MAX_TOKEN_LIFETIME_SECONDS) {
        Logger::LogError("The expires_in %s of the authorization code exchange reply is out of range.",
                         expiresIn.c_str());
        return false;
    }
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
