#include "net/SyncHTTPRequest.h"

#include <algorithm>

#include <Poco/Timestamp.h>

#include "common/Logger.h"
#include "net/HttpManager.h"
#include "net/SyncRequestAuthListener.h"
#include "net/SyncRequestResponseListener.h"
#include "net/UrlPrinter.h"

namespace VantisClient {
namespace {

const long WAIT_STEP_MS = 100;
// A token request makes four attempts of five seconds with short pauses
// between them; a sign-in that has heard nothing after this has failed.
const Poco::Timestamp::TimeDiff SIGN_IN_LIMIT_MICROSECONDS = 60LL * 1000000;

int attemptsFor(SyncRequestPolicy policy) {
    return policy == SyncHTTPRequest::FIVE_ATTEMPTS || policy == SyncHTTPRequest::HUNDRED_ATTEMPTS ? policy : 1;
}

}  // namespace

bool SyncHTTPRequest::mustStop(const AbortSignal::Ptr& abort) {
    return (abort && abort->isRaised()) || HttpManager::IsShutDown();
}

int SyncHTTPRequest::makeRequest(Http::HttpRequest& request, Http::HttpResponse& response, SyncRequestPolicy policy,
                                 bool authenticated, const AbortSignal::Ptr& abort) {
    response = Http::HttpResponse();
    int attempts = attemptsFor(policy);
    Poco::SharedPtr<SyncRequestResponseListener> listener = new SyncRequestResponseListener();
    Poco::SharedPtr<Http::IHttpClient::IResponseListener> target(listener);
    for (;;) {
        HttpManager* manager = HttpManager::Instance();
        if (manager == nullptr || mustStop(abort)) return FAILED;
        manager->sendRequest(request, target, authenticated);
        const Poco::Timestamp sent;
        const int remaining = attempts - 1;
        const Poco::Timestamp::TimeDiff limit = static_cast<Poco::Timestamp::TimeDiff>(request.timeout) * 1000000;
        int result = SyncRequestResponseListener::WAITING;
        while ((result = listener->waitForResult(WAIT_STEP_MS)) == SyncRequestResponseListener::WAITING) {
            if (mustStop(abort)) return FAILED;
            // An answer that is still arriving is waited for: sending the request
            // again would only fetch it twice. Only silence counts as a time-out.
            if (std::max(sent, listener->lastProgress()).elapsed() > limit) break;
        }
        if (result != SyncRequestResponseListener::WAITING) {
            request = listener->request();
            if (result == ANSWERED) response = listener->response();
            return result;
        }
        Logger::LogWarning("SyncRequest: timeout %ds exceeded (remaining attempts %d) while fetching %s. RequestId: %s.",
                           request.timeout, remaining, Http::UrlPrinter::UrlToString(request).c_str(),
                           request.requestId.c_str());
        if (remaining < 1) return FAILED;
        attempts = remaining;
    }
}

int SyncHTTPRequest::makeSignInRequest(const std::string& token, std::string& refreshToken, uint64_t& userId,
                                       bool& rejected, const AbortSignal::Ptr& abort) {
    rejected = false;
    Poco::SharedPtr<SyncRequestAuthListener> listener = new SyncRequestAuthListener();
    Http::AuthenticatedHttpClient::ListenerPtr target(listener);
    HttpManager* manager = HttpManager::Instance();
    if (manager == nullptr) return FAILED;
    manager->registerAuthListener(target);
    manager->signInWithRefreshToken(token);
    const Poco::Timestamp started;
    int result = SyncRequestAuthListener::WAITING;
    while ((result = listener->waitForResult(WAIT_STEP_MS)) == SyncRequestAuthListener::WAITING) {
        if (mustStop(abort) || started.elapsed() > SIGN_IN_LIMIT_MICROSECONDS) break;
    }
    // The manager may have gone while this thread waited.
    manager = HttpManager::Instance();
    if (manager == nullptr) return FAILED;
    manager->unregisterAuthListener(target);
    if (result != SyncRequestAuthListener::SUCCEEDED) {
        rejected = result == SyncRequestAuthListener::FAILED && manager->lastAuthFailureWasRejection();
        return FAILED;
    }
    refreshToken = listener->refreshToken();
    userId = listener->userId();
    return ANSWERED;
}

}  // namespace VantisClient
