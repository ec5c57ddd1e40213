// Blocking fetches that install tasks share. Each runs on the calling task's
// thread and may take as long as a blocking request with a hundred attempts,
// times the tries that transient faults call for (TransientFaultRetry).
// Thread-safety: stateless; call from task threads, never from the thread that
// delivers the HTTP manager's answers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/AbortSignal.h"
#include "common/json/ISerializable.h"
#include "net/HttpRequest.h"
#include "net/HttpResponse.h"

namespace VantisClient {
namespace Http {
namespace Tasks {

// Sends `request` signed in, with a hundred attempts; the status of the answer,
// or HttpResponse::NO_STATUS when none came.
int32_t fetchStatus(HttpRequest& request, HttpResponse& response, const AbortSignal::Ptr& abort);

// How the backend's answer to a link request reads: {"link": "<text>"}.
enum class LinkReply { Read, NotJson, NoLink };
LinkReply readLinkReply(const std::string& body, std::string& link);

// A JSON document behind a link: the backend answers a request with {"link": ...},
// and the document lies at that link. How the last try went, step by step.
struct LinkedDocument {
    enum class Failure {
        None,
        LinkStatus,          // the link request failed; see linkStatus
        LinkUnreadable,      // its answer is not JSON
        NoLink,              // its answer holds no "link"
        InsecureLink,        // the link is not https
        DocumentStatus,      // the document request failed; see status
        DocumentUnreadable,  // the document is not JSON
    };
    Failure failure = Failure::None;
    int32_t linkStatus = HttpResponse::NO_STATUS;
    std::string linkUrl;  // the link request, as printed for messages
    std::string link;
    int32_t status = HttpResponse::NO_STATUS;
    std::string url;  // the document request, as printed for messages
    std::string body;
    ISerializable::json document;
};

// Reads a fetched document's text where it is kept; false when the text is
// not JSON at all, which counts as a damaged answer.
using DocumentReader = std::function<bool(const std::string& text)>;

// Fetches the link, then the document, both again (a fresh link each time)
// after a transient fault of either step; a link that is not https is refused
// at once. `what` names the document in log lines. The document is read by
// `read`, or, without one, into the result's `document` tree.
LinkedDocument fetchLinkedDocument(const HttpRequest& linkRequest, const std::string& what,
                                   const AbortSignal::Ptr& abort, const DocumentReader& read = DocumentReader());

// The product manifest of game `gameId`: the backend's answer names a
// link, whose document is returned. Empty on any failure; `notFound` tells
// whether the backend does not know the game (404), `refused` (when given)
// whether the backend handed out a link the client may not use.
std::string getManifestContents(const std::string& gameId, bool& notFound,
                                const AbortSignal::Ptr& abort = AbortSignal::Ptr(), bool* refused = nullptr);

}  // namespace Tasks
}  // namespace Http
}  // namespace VantisClient
