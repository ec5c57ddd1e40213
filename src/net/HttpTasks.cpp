#include "net/HttpTasks.h"

#include "common/Logger.h"
#include "common/json/Serializer.h"
#include "net/RequestFactory.h"
#include "net/SyncHTTPRequest.h"
#include "net/UrlPrinter.h"

namespace VantisClient {
namespace Http {
namespace Tasks {

int32_t fetchStatus(HttpRequest& request, HttpResponse& response, const AbortSignal::Ptr& abort) {
    if (SyncHTTPRequest::makeRequest(request, response, SyncHTTPRequest::HUNDRED_ATTEMPTS, true, abort) !=
        SyncHTTPRequest::ANSWERED) {
        return HttpResponse::NO_STATUS;
    }
    return response.statusCode;
}

std::string getManifestContents(const ProductDefinitionBase& definition, bool& notFound,
                                const AbortSignal::Ptr& abort) {
    notFound = false;
    const std::string& gameId = definition.getGameId();
    HttpRequest linkRequest = RequestFactory::getManifestUrl(gameId);
    HttpResponse linkResponse;
    const int32_t linkStatus = fetchStatus(linkRequest, linkResponse, abort);
    if (linkStatus != 200) {
        Logger::LogError("Unable to get manifest url json for gid %s from url %s. Response code %d", gameId.c_str(),
                         UrlPrinter::UrlToString(linkRequest).c_str(), linkStatus);
        notFound = linkStatus == 404;
        return std::string();
    }
    ISerializable::json document;
    if (!Serializer::DeserializeFromBuffer(document, linkResponse.body, Serializer::JSON)) {
        Logger::LogError("Unable to deserialize manifest url json for gid %s", gameId.c_str());
        return std::string();
    }
    if (!document->has("link") || !document->get("link").isString()) {
        Logger::LogError("Manifest url either empty or invalid for gid %s", gameId.c_str());
        return std::string();
    }
    HttpRequest manifestRequest = RequestFactory::getManifestOrBinaryFile(document->getValue<std::string>("link"));
    HttpResponse manifestResponse;
    const int32_t manifestStatus = fetchStatus(manifestRequest, manifestResponse, abort);
    if (manifestStatus == 200) return manifestResponse.body;
    Logger::LogError("Unable to get manifest file from CDN for gid %s from url %s. Response Code: %d",
                     gameId.c_str(), UrlPrinter::UrlToString(manifestRequest).c_str(), manifestStatus);
    return std::string();
}

}  // namespace Tasks
}  // namespace Http
}  // namespace VantisClient
