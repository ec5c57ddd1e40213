#include "net/HttpTasks.h"

#include "common/Logger.h"
#include "common/json/Serializer.h"
#include "net/RequestFactory.h"
#include "net/SyncHTTPRequest.h"
#include "net/TransientFaultRetry.h"
#include "net/UrlPrinter.h"

namespace VantisClient {
namespace Http {
namespace Tasks {

namespace {

using Attempt = TransientFaultRetry::Attempt;
using Failure = LinkedDocument::Failure;

Attempt failedWith(LinkedDocument& result, Failure failure, Attempt attempt) {
    result.failure = failure;
    return attempt;
}

Attempt fetchLinkOnce(const HttpRequest& linkRequest, TransientFaultRetry& retry, LinkedDocument& result) {
    HttpRequest request = linkRequest;
    HttpResponse response;
    result.linkStatus = fetchStatus(request, response, retry.abort());
    result.linkUrl = UrlPrinter::UrlToString(request);
    if (result.linkStatus != 200) {
        return failedWith(result, Failure::LinkStatus,
                          TransientFaultRetry::IsTransientStatus(result.linkStatus) ? Attempt::Transient
                                                                                    : Attempt::Failed);
    }
    switch (readLinkReply(response.body, result.link)) {
        case LinkReply::Read: return Attempt::Succeeded;
        case LinkReply::NotJson: return failedWith(result, Failure::LinkUnreadable, retry.undecodable(response.body));
        case LinkReply::NoLink: break;
    }
    return failedWith(result, Failure::NoLink, retry.undecodable(response.body));
}

bool readDocument(const DocumentReader& read, const std::string& text, LinkedDocument& result) {
    if (read) return read(text);
    return Serializer::DeserializeFromBuffer(result.document, text, Serializer::JSON);
}

Attempt fetchDocumentOnce(const std::string& what, const DocumentReader& read, TransientFaultRetry& retry,
                          LinkedDocument& result) {
    if (!RequestFactory::AcceptsContentLink(result.link, what)) {
        return failedWith(result, Failure::InsecureLink, Attempt::Failed);
    }
    HttpRequest request = RequestFactory::getManifestOrBinaryFile(result.link);
    HttpResponse response;
    result.status = fetchStatus(request, response, retry.abort());
    result.url = UrlPrinter::UrlToString(request);
    if (result.status != 200) {
        const bool transient = TransientFaultRetry::IsTransientStatus(result.status) ||
                               TransientFaultRetry::IsRefusedLink(result.status);
        return failedWith(result, Failure::DocumentStatus, transient ? Attempt::Transient : Attempt::Failed);
    }
    if (!readDocument(read, response.body, result)) {
        return failedWith(result, Failure::DocumentUnreadable, retry.undecodable(response.body));
    }
    result.body = std::move(response.body);
    return Attempt::Succeeded;
}

}  // namespace

LinkReply readLinkReply(const std::string& body, std::string& link) {
    ISerializable::json document;
    if (!Serializer::DeserializeFromBuffer(document, body, Serializer::JSON)) return LinkReply::NotJson;
    if (!document->has("link") || !document->get("link").isString()) return LinkReply::NoLink;
    link = document->getValue<std::string>("link");
    return LinkReply::Read;
}

int32_t fetchStatus(HttpRequest& request, HttpResponse& response, const AbortSignal::Ptr& abort) {
    if (SyncHTTPRequest::makeRequest(request, response, SyncHTTPRequest::HUNDRED_ATTEMPTS, true, abort) !=
        SyncHTTPRequest::ANSWERED) {
        return HttpResponse::NO_STATUS;
    }
    return response.statusCode;
}

LinkedDocument fetchLinkedDocument(const HttpRequest& linkRequest, const std::string& what,
                                   const AbortSignal::Ptr& abort, const DocumentReader& read) {
    LinkedDocument result;
    TransientFaultRetry retry(abort);
    retry.run(what, [&] {
        result = LinkedDocument();
        const Attempt link = fetchLinkOnce(linkRequest, retry, result);
        return link == Attempt::Succeeded ? fetchDocumentOnce(what, read, retry, result) : link;
    });
    return result;
}

std::string getManifestContents(const std::string& gameId, bool& notFound, const AbortSignal::Ptr& abort,
                                bool* refused) {
    notFound = false;
    const LinkedDocument fetched =
        fetchLinkedDocument(RequestFactory::getManifestUrl(gameId), "the product manifest of game " + gameId, abort);
    if (refused != nullptr) *refused = fetched.failure == Failure::InsecureLink;
    switch (fetched.failure) {
        case Failure::None:
            return fetched.body;
        case Failure::LinkStatus:
            Logger::LogError("Unable to get manifest url json for gid %s from url %s. Response code %d",
                             gameId.c_str(), fetched.linkUrl.c_str(), fetched.linkStatus);
            notFound = fetched.linkStatus == 404;
            break;
        case Failure::LinkUnreadable:
            Logger::LogError("Unable to deserialize manifest url json for gid %s", gameId.c_str());
            break;
        case Failure::NoLink:
            Logger::LogError("Manifest url either empty or invalid for gid %s", gameId.c_str());
            break;
        case Failure::InsecureLink:
            break;
        case Failure::DocumentStatus:
            Logger::LogError("Unable to get manifest file from CDN for gid %s from url %s. Response Code: %d",
                             gameId.c_str(), fetched.url.c_str(), fetched.status);
            break;
        case Failure::DocumentUnreadable:
            Logger::LogError("The manifest file from %s for gid %s is not JSON", fetched.url.c_str(), gameId.c_str());
            break;
    }
    return std::string();
}

}  // namespace Tasks
}  // namespace Http
}  // namespace VantisClient
