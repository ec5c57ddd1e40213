// Hears the answer to one part request and turns it into a
// DownloadFilePartFeedback in the downloader's result queue: the part's bytes
// on success (moved, not copied), else what went wrong and whether a retry may
// help. A link that the content server refuses or that fails in transport is
// dropped from the cache, so that the part's retry asks for a fresh one.
//
// The listener holds what it works with (the part, the link it was sent with,
// the cache and the queue) through shared pointers, never the downloader: an
// answer may arrive after the downloader is gone, and a cancelled part's answer
// is dropped unheard.
// Thread-safety: its operations run on the thread that delivers network
// answers; they touch the part only to read it, and the cache and the queue
// through their own locks.
#pragma once

#include <cstdint>
#include <string>

#include <Poco/NotificationQueue.h>
#include <Poco/SharedPtr.h>

#include "install/DownloadFilePartFeedback.h"
#include "install/DownloadFilePartInfo.h"
#include "install/SecureUrlCache.h"
#include "install/SecureUrlInfo.h"
#include "net/IHttpClient.h"

namespace VantisClient {

class ProductFilesDownloadListener : public Http::IHttpClient::IResponseListener {
public:
    ProductFilesDownloadListener(const DownloadFilePartInfo::Ptr& part, const SecureUrlInfo& link,
                                 const SecureUrlCache::Ptr& secureUrlCache,
                                 const Poco::SharedPtr<Poco::NotificationQueue>& resultQueue);

    static DownloadFilePartFeedback::PartError classifyHttpResponse(int32_t status);
    // Answers by which the content server says the link itself is no good.
    static bool isRefusedLink(int32_t status);

    void OnResponse(const Http::HttpRequest& request, const Http::HttpResponse& response) override;
    void OnResponseHandover(const Http::HttpRequest& request, Http::HttpResponse& response) override;
    void OnError(const Http::HttpRequest& request) override;

private:
    void handleContentResponse(const Http::HttpRequest& request, Http::HttpResponse& response);
    void handleContentError(const Http::HttpRequest& request);
    DownloadFilePartFeedback* receivedPart(const Http::HttpRequest& request, Http::HttpResponse& response);
    // A 200 to a ranged request carries the whole object: keeps only the
    // asked range of `body`; false when the body does not reach that far.
    bool keepAskedRange(std::string& body) const;
    DownloadFilePartFeedback* failedPart(const Http::HttpRequest& request, const Http::HttpResponse& response,
                                         DownloadFilePartFeedback::PartError error);
    void dropRefusedLink(int32_t status);
    void enqueue(DownloadFilePartFeedback* feedback);

    DownloadFilePartInfo::Ptr m_part;
    SecureUrlInfo m_link;
    SecureUrlCache::Ptr m_secureUrlCache;
    Poco::SharedPtr<Poco::NotificationQueue> m_resultQueue;
};

}  // namespace VantisClient
