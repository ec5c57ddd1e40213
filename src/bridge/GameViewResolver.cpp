#include "bridge/GameViewResolver.h"

#include <Poco/Exception.h>

#include "bridge/WebCacheLayout.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "net/RequestFactory.h"
#include "net/SyncHTTPRequest.h"

namespace VantisClient {

int GameViewResolver::GetGameViewAction(const std::string& gameId, const std::string& remotePage) {
    if (checkIfOnline() && checkWebPage(remotePage)) return REMOTE_PAGE;
    return checkWebCache(gameId) ? WEB_CACHE : FALLBACK_PAGE;
}

bool GameViewResolver::checkIfOnline() { return Utilities::CheckInternetAccess(); }

bool GameViewResolver::checkWebPage(const std::string& address) {
    Http::HttpRequest request;
    try {
        request = Http::RequestFactory::getWebPageAvailable(address);
    } catch (const Poco::Exception& exception) {
        Logger::LogWarning("Not checking the game card page %s: %s", address.c_str(), exception.displayText().c_str());
        return false;
    }
    Http::HttpResponse response;
    return SyncHTTPRequest::makeRequest(request, response, SyncHTTPRequest::ONE_ATTEMPT, false) ==
               SyncHTTPRequest::ANSWERED &&
           response.statusCode == 200;
}

bool GameViewResolver::checkWebCache(const std::string& gameId) {
    const std::string entryPage = WebCacheLayout::EntryPage(gameId);
    return !entryPage.empty() && Utilities::GetFileExists(entryPage);
}

}  // namespace VantisClient
