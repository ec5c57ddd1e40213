#include "net/TokenReply.h"

#include <Poco/JSON/Object.h>
#include <Poco/NumberParser.h>

#include "common/Logger.h"
#include "common/json/Serializer.h"

namespace VantisClient {
namespace Http {

namespace {

bool readText(const Poco::JSON::Object::Ptr& reply, const std::string& key, std::string& text) {
    if (!reply->has(key) || reply->isNull(key)) return false;
    try {
        text = reply->get(key).convert<std::string>();
        return true;
    } catch (const Poco::Exception&) {
        return false;
    }
}

}  // namespace

bool TokenReply::IsRefusal(int32_t status, const std::string& errorCode) {
    if (status != 400 && status != 401) return false;
    return errorCode.empty() || errorCode == "invalid_grant" || errorCode == "invalid_client" ||
           errorCode == "unauthorized_client";
}

TokenReply TokenReply::Read(int32_t status, const std::string& body) {
    TokenReply result;
    ISerializable::json reply;
    if (!Serializer::DeserializeFromBuffer(reply, body, Serializer::JSON)) {
        Logger::LogError("Could not deserialize the token reply (status %d).", static_cast<int>(status));
        result.refused = IsRefusal(status, "");
        return result;
    }
    std::string error;
    std::string errorDescription;
    readText(reply, "error", error);
    readText(reply, "error_description", errorDescription);
    // Only the backend refusing the credentials makes them worthless; a server
    // error or a throttled request says nothing about them.
    result.refused = IsRefusal(status, error);
    if (!error.empty() || !errorDescription.empty()) {
        Logger::LogWarning("Failed to get token: error=%s, errorDescription=%s", error.c_str(),
                           errorDescription.c_str());
    }
    std::string expiresIn, userId;
    if (!readText(reply, "access_token", result.accessToken) || !readText(reply, "refresh_token", result.refreshToken) ||
        !readText(reply, "expires_in", expiresIn)) {
        Logger::LogWarning("Unable to fetch token from auth response");
        return result;
    }
    readText(reply, "token_type", result.tokenType);
    Poco::UInt64 identity = 0;
    if (!readText(reply, "user_id", userId) || !Poco::NumberParser::tryParseUnsigned64(userId, identity, ',')) {
        Logger::LogWarning("Unable to fetch user identity from auth response");
        return result;
    }
    Poco::Int64 lifetime = 0;
    if (!Poco::NumberParser::tryParse64(expiresIn, lifetime) || lifetime < 0 || lifetime > MAX_LIFETIME_SECONDS) {
        Logger::LogWarning("Token lifetime out of range in auth response: expires_in=%s", expiresIn.c_str());
        return result;
    }
    result.identity = identity;
    result.lifetimeSeconds = lifetime;
    result.usable = true;
    return result;
}

}  // namespace Http
}  // namespace VantisClient
