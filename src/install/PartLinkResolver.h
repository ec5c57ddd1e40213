// Finds the short-lived secure link through which a part's binary is fetched:
// from the links already handed out, or asked of the backend, again after
// transient faults. A link that is not https is refused as the server's fault.
// Thread-safety: one resolver per download, used on the install thread; the
// cache it shares may be used from any thread.
#pragma once

#include <cstdint>
#include <string>

#include <Poco/Optional.h>

#include "common/AbortSignal.h"
#include "install/DownloadFilePartInfo.h"
#include "install/EInstallResult.h"
#include "install/SecureUrlCache.h"
#include "install/SecureUrlInfo.h"
#include "model/ProductInfo.h"
#include "net/HttpRequest.h"
#include "net/TransientFaultRetry.h"

namespace VantisClient {

class PartLinkResolver {
public:
    // Either the link, or why there is none: a failure that ends the install,
    // or neither when the download was aborted meanwhile.
    struct Result {
        Poco::Optional<SecureUrlInfo> link;
        Poco::Optional<EInstallResult> failure;
    };

    PartLinkResolver(const ProductInfo::Ptr& product, const SecureUrlCache::Ptr& cache,
                     const AbortSignal::Ptr& abortSignal);

    Result resolve(const DownloadFilePartInfo& part);

private:
    Result ask(const DownloadFilePartInfo& part);
    Http::HttpRequest linkRequest(const SecureUrlInfo& info) const;
    static Http::TransientFaultRetry::Attempt readLink(const std::string& body, SecureUrlInfo& info,
                                                       Http::TransientFaultRetry& retry);
    Result store(const DownloadFilePartInfo& part, const SecureUrlInfo& info);
    Result reportFailure(const DownloadFilePartInfo& part, const SecureUrlInfo& info, const std::string& requestUrl,
                         int32_t status);

    ProductInfo::Ptr m_product;
    SecureUrlCache::Ptr m_cache;
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
