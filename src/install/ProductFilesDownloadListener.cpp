#include "install/ProductFilesDownloadListener.h"

#include <utility>

#include "common/Logger.h"
#include "common/SecretRedactor.h"
#include "install/InstallDebugChannel.h"
#include "install/ResultNotification.h"
#include "net/TransientFaultRetry.h"
#include "net/UrlPrinter.h"

namespace VantisClient {

ProductFilesDownloadListener::ProductFilesDownloadListener(const DownloadFilePartInfo::Ptr& part,
                                                           const SecureUrlInfo& link,
                                                           const SecureUrlCache::Ptr& secureUrlCache,
                                                           const Poco::SharedPtr<Poco::NotificationQueue>& resultQueue)
    : m_part(part), m_link(link), m_secureUrlCache(secureUrlCache), m_resultQueue(resultQueue) {}

DownloadFilePartFeedback::PartError ProductFilesDownloadListener::classifyHttpResponse(int32_t status) {
    switch (status) {
        case 200: case 201: case 202: case 204: case 205: case 206:
            return DownloadFilePartFeedback::PART_RECEIVED;
        case 100: case 101: case 404:
            return DownloadFilePartFeedback::PART_FAILED_FOR_GOOD;
        case 203: case 307:
            return DownloadFilePartFeedback::PART_RETRY;
        default:
            break;
    }
    // A server error passes like a dropped connection: the part waits and is asked for again.
    if ((status >= 300 && status <= 305) || (status >= 400 && status <= 417) || (status >= 500 && status <= 505)) {
        return DownloadFilePartFeedback::PART_RETRY;
    }
    Logger::LogWarning("Unhandled error code %d", status);
    return DownloadFilePartFeedback::PART_RETRY;
}

bool ProductFilesDownloadListener::isRefusedLink(int32_t status) {
    return Http::TransientFaultRetry::IsRefusedLink(status);
}

void ProductFilesDownloadListener::OnResponse(const Http::HttpRequest& request, const Http::HttpResponse& response) {
    if (m_part->cancelled) return;
    Http::HttpResponse copy = response;
    handleContentResponse(request, copy);
}

void ProductFilesDownloadListener::OnResponseHandover(const Http::HttpRequest& request, Http::HttpResponse& response) {
    if (m_part->cancelled) return;
    handleContentResponse(request, response);
}

void ProductFilesDownloadListener::OnError(const Http::HttpRequest& request) {
    if (m_part->cancelled) return;
    handleContentError(request);
}

void ProductFilesDownloadListener::handleContentResponse(const Http::HttpRequest& request,
                                                         Http::HttpResponse& response) {
    const DownloadFilePartFeedback::PartError error = classifyHttpResponse(response.statusCode);
    enqueue(error == DownloadFilePartFeedback::PART_RECEIVED ? receivedPart(request, response)
                                                              : failedPart(request, response, error));
}

DownloadFilePartFeedback* ProductFilesDownloadListener::receivedPart(const Http::HttpRequest& request,
                                                                     Http::HttpResponse& response) {
    const DownloadFilePartInfo& part = *m_part;
    if (response.statusCode == 200 && !keepAskedRange(response.body)) {
        return new DownloadFilePartFeedback(part, DownloadFilePartFeedback::PART_RETRY, response.statusCode);
    }
    if (response.body.size() != part.requestSize) {
        Logger::LogWarning("Only %d of part for file %s downloaded? Should be %d",
                           static_cast<int>(response.body.size()), request.path.c_str(),
                           static_cast<int>(part.requestSize));
        // The bytes go along: an answer wrong the same way each time is the server's fault.
        auto* wrongSize = new DownloadFilePartFeedback(part, DownloadFilePartFeedback::PART_RETRY, response.statusCode);
        wrongSize->takeData(std::move(response.body));
        return wrongSize;
    }
    Logger::LogChannelInfo(INSTALL_DEBUG_CHANNEL, "%d bytes of %s (%s) downloaded.",
                           static_cast<int>(response.body.size()), SecretRedactor::maskUrl(request.path).c_str(),
                           part.path.c_str());
    auto* feedback =
        new DownloadFilePartFeedback(part, DownloadFilePartFeedback::PART_RECEIVED, response.statusCode);
    feedback->takeData(std::move(response.body));
    return feedback;
}

bool ProductFilesDownloadListener::keepAskedRange(std::string& body) const {
    const DownloadFilePartInfo& part = *m_part;
    const uint64_t start = part.fileOffset + part.partOffset;
    if (body.size() < start + part.requestSize) {
        Logger::LogWarning("The server answered part %hu of file %s with %llu bytes instead of its range; asking again",
                           part.partIndex, part.path.c_str(), static_cast<unsigned long long>(body.size()));
        return false;
    }
    if (start == 0 && body.size() == part.requestSize) return true;
    Logger::LogWarning("The server ignored the range of part %hu of file %s; its bytes are taken from the whole object",
                       part.partIndex, part.path.c_str());
    body.erase(0, static_cast<size_t>(start));
    body.resize(part.requestSize);
    return true;
}

DownloadFilePartFeedback* ProductFilesDownloadListener::failedPart(const Http::HttpRequest& request,
                                                                   const Http::HttpResponse& response,
                                                                   DownloadFilePartFeedback::PartError error) {
    const std::string source =
        "url " + Http::UrlPrinter::UrlToString(request) + " " + Http::UrlPrinter::RangeToString(request);
    Logger::LogWarning("ResponseCode %d while downloading file %s from %s", response.statusCode,
                       m_part->path.c_str(), source.c_str());
    if (isRefusedLink(response.statusCode)) dropRefusedLink(response.statusCode);
    return new DownloadFilePartFeedback(*m_part, error, response.statusCode);
}

void ProductFilesDownloadListener::dropRefusedLink(int32_t status) {
    // Retrying through a link that has expired or was revoked only fails again.
    if (!m_secureUrlCache->removeLink(m_link)) return;
    Logger::LogWarning("Secure link of binary file %s refused with response code %d; a new one will be requested",
                       m_link.file.c_str(), status);
}

void ProductFilesDownloadListener::handleContentError(const Http::HttpRequest& request) {
    if (m_secureUrlCache->removeLink(m_link)) {
        Logger::LogError("Internal server error (request: %s) while trying to get access to binary file %s",
                         request.requestId.c_str(), m_link.file.c_str());
    }
    enqueue(new DownloadFilePartFeedback(*m_part, DownloadFilePartFeedback::PART_NOT_COMPLETED, 0));
}

void ProductFilesDownloadListener::enqueue(DownloadFilePartFeedback* feedback) {
    m_resultQueue->enqueueNotification(new ResultNotification(feedback));
}

}  // namespace VantisClient
