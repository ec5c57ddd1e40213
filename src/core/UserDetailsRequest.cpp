#include "core/UserDetailsRequest.h"

#include "common/Logger.h"
#include "common/json/Serializer.h"
#include "net/RequestFactory.h"
#include "net/SyncHTTPRequest.h"

namespace VantisClient {

UserDetailsRequest::Outcome UserDetailsRequest::fetch(uint64_t userId, SignInResult& result,
                                                      const AbortSignal::Ptr& abort) {
    Http::HttpRequest request = Http::RequestFactory::getUserDetails(userId);
    Http::HttpResponse response;
    if (SyncHTTPRequest::makeRequest(request, response, SyncHTTPRequest::ONE_ATTEMPT, true, abort) !=
        SyncHTTPRequest::ANSWERED) {
        return NO_RESPONSE;
    }
    ISerializable::json details;
    if (!Serializer::DeserializeFromBuffer(details, response.body, Serializer::JSON)) {
        Logger::LogError("Error while deserializing user info.");
        return UNREADABLE;
    }
    if (!details->has("username") || !details->get("username").isString()) {
        Logger::LogError("Error getting username from user info.");
        return NO_USERNAME;
    }
    result.userName = details->getValue<std::string>("username");
    if (details->has("avatar") && details->get("avatar").isString()) {
        result.avatar = details->getValue<std::string>("avatar");
    } else {
        Logger::LogError("Error getting avatar path from user info.");
    }
    return READ;
}

}  // namespace VantisClient
