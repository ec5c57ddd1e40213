#include "install/PartLinkResolver.h"

#include <Poco/Net/HTTPResponse.h>

#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "common/ScopeTimer.h"
#include "install/InstallDebugChannel.h"
#include "net/HttpTasks.h"
#include "net/RequestFactory.h"
#include "net/SyncHTTPRequest.h"
#include "net/UrlPrinter.h"

namespace VantisClient {
namespace {

using Attempt = Http::TransientFaultRetry::Attempt;

PartLinkResolver::Result failedWith(EInstallResult failure) {
    PartLinkResolver::Result result;
    result.failure = failure;
    return result;
}

}  // namespace

PartLinkResolver::PartLinkResolver(const ProductInfo::Ptr& product, const SecureUrlCache::Ptr& cache,
                                   const AbortSignal::Ptr& abortSignal)
    : m_product(product), m_cache(cache), m_abortSignal(abortSignal) {}

PartLinkResolver::Result PartLinkResolver::resolve(const DownloadFilePartInfo& part) {
    Result result;
    result.link = m_cache->findBinaryFileInCache(part.linkKeys);
    if (result.link.isSpecified()) return result;
    if (Logger::IsChannelEnabled(INSTALL_DEBUG_CHANNEL)) {
        Logger::LogChannelInfo(INSTALL_DEBUG_CHANNEL,
                               "Getting new secure url for binary file %s (tokenized as %s %s), because cache "
                               "contains %s",
                               part.url.c_str(), part.linkKeys.product.c_str(), part.linkKeys.file.c_str(),
                               m_cache->dumpContents().c_str());
    }
    ScopeTimer timer("Getting secure url for " + part.linkKeys.file + ". File: " + part.path);
    return ask(part);
}

PartLinkResolver::Result PartLinkResolver::ask(const DownloadFilePartInfo& part) {
    SecureUrlInfo info(part.linkKeys.product, part.linkKeys.file, part.redistributable);
    Http::TransientFaultRetry retry(m_abortSignal);
    std::string requestUrl;
    std::string body;
    int32_t status = Http::HttpResponse::NO_STATUS;
    const Attempt outcome = retry.run("the secure link of binary file " + info.file, [&] {
        Http::HttpRequest request = linkRequest(info);
        Http::HttpResponse response;
        const bool answered = SyncHTTPRequest::makeRequest(request, response, SyncHTTPRequest::HUNDRED_ATTEMPTS,
                                                           true, m_abortSignal) == SyncHTTPRequest::ANSWERED;
        requestUrl = Http::UrlPrinter::UrlToString(request);
        status = answered ? response.statusCode : Http::HttpResponse::NO_STATUS;
        body = std::move(response.body);
        if (status == 200) return readLink(body, info, retry);
        return Http::TransientFaultRetry::IsTransientStatus(status) ? Attempt::Transient : Attempt::Failed;
    });
    if (outcome == Attempt::Succeeded) return store(part, info);
    // A request cut short by the abort is no fault of the server's.
    if (m_abortSignal->isRaised()) return Result();
    if (status == 403) {
        Logger::LogError("Access to binary file %s (gid: %s) forbidden", info.file.c_str(), info.product.c_str());
        return failedWith(EInstallResult::NotAuthorized);
    }
    if (status == 200) {
        Logger::LogError("Parsing link for file %s from url %s failed: %s", part.path.c_str(), requestUrl.c_str(),
                         body.c_str());
        // Without a link the part can never be fetched; waiting for it would never end.
        return failedWith(EInstallResult::ConnectionError);
    }
    return reportFailure(part, info, requestUrl, status);
}

Http::HttpRequest PartLinkResolver::linkRequest(const SecureUrlInfo& info) const {
    if (info.redist) return Http::RequestFactory::getRedistributableBinary(info.product, info.file);
    const Poco::SharedPtr<ProductIdentification>& target = m_product->getTargetIdentification();
    const int64_t timestamp = target.isNull() ? m_product->getManifestTimestamp() : target->manifestTimestamp;
    return Http::RequestFactory::getDepotBinaryFileUrl(info.product, std::to_string(timestamp), info.file);
}

Http::TransientFaultRetry::Attempt PartLinkResolver::readLink(const std::string& body, SecureUrlInfo& info,
                                                              Http::TransientFaultRetry& retry) {
    if (Http::Tasks::readLinkReply(body, info.url) != Http::Tasks::LinkReply::Read) return retry.undecodable(body);
    return Attempt::Succeeded;
}

PartLinkResolver::Result PartLinkResolver::store(const DownloadFilePartInfo& part, const SecureUrlInfo& info) {
    if (!Http::RequestFactory::AcceptsContentLink(info.url, "file " + part.path)) {
        return failedWith(EInstallResult::ServerError);
    }
    m_cache->addItem(info);
    Result result;
    result.link = info;
    return result;
}

PartLinkResolver::Result PartLinkResolver::reportFailure(const DownloadFilePartInfo& part, const SecureUrlInfo& info,
                                                         const std::string& requestUrl, int32_t status) {
    Logger::LogError("Server error while trying to get access to binary file %s (gid: %s) at url %s, response "
                     "code %d",
                     info.file.c_str(), info.product.c_str(), requestUrl.c_str(), status);
    ProblemReporter::Instance().failedGettingFileUrl(m_product->getGameId(), m_product->getGameName(), part.path,
                                                     requestUrl,
                                                     static_cast<Poco::Net::HTTPResponse::HTTPStatus>(status));
    return failedWith(EInstallResult::ConnectionError);
}

}  // namespace VantisClient
