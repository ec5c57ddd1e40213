// The one list of the backend's endpoints: every request the client sends to
// its store backend is built here, against the hosts of HostProvider. Host
// values may carry ":port" (else the scheme's port applies); query values are
// percent-encoded.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

#include <Poco/URI.h>

#include "net/HttpRequest.h"

namespace VantisClient {
namespace Http {

class RequestFactory {
public:
    // Token requests are queued again this often after a server error, a 429
    // or a failed transfer: a short outage must not end a sign-in.
    static constexpr int32_t TOKEN_REQUEST_RESENDS = 3;

    static HttpRequest getManifestUrl(const std::string& gameId);
    static HttpRequest getDepotManifestUrl(const std::string& gameId, const std::string& manifest);
    static HttpRequest getDepotBinaryFileUrl(const std::string& gameId, const std::string& depot,
                                             const std::string& file);
    static HttpRequest getRedistributableManifestOrBinary(const std::string& package, const std::string& file);
    static HttpRequest getRedistributablesMainManifest();
    static HttpRequest getRedistributableManifest(const std::string& name);
    static HttpRequest getRedistributableBinary(const std::string& package, const std::string& file);
    static HttpRequest getManifestOrBinaryFile(const std::string& url);
    static HttpRequest getExchangeTokenRequest(const std::string& code);
    static HttpRequest getUserDetails(uint64_t userId);
    static HttpRequest getUserOwnProduct(const std::string& gameId);
    static HttpRequest getAPIStatus();
    static HttpRequest getWebPageAvailable(const std::string& url);

    // Points `request` at an absolute address: its host and port, "http" for
    // plain HTTP (in any letter case) and TLS for anything else, and its path
    // and query without the leading "/". A link that does not parse or names
    // no host is logged once and leaves the request without a host, which the
    // HTTP client fails at once: false then, never an exception.
    static bool targetUrl(HttpRequest& request, const std::string& url);
    // True when `url` is an absolute https address. A malformed link is logged
    // as targetUrl logs it; any other scheme is refused with an error naming
    // `what` and the link's host, never its query (which may carry a signature).
    static bool AcceptsContentLink(const std::string& url, const std::string& what);
    // Points `request` at a host value ("name" or "name:port") over TLS.
    static void targetSecureHost(HttpRequest& request, const std::string& hostValue);
    // True when `request` goes over TLS to one of the backend's API hosts
    // (config, auth, users, products) as they are configured now.
    static bool IsBackendRequest(const HttpRequest& request);

private:
    // Parses `url` into `uri`; a link that does not parse or names no host is
    // logged once, with its secrets masked, and gives false.
    static bool parseLink(const std::string& url, Poco::URI& uri);
    static HttpRequest productsRequest(const std::string& path);
    static std::string operatingSystemPath(const std::string& gameId);
};

}  // namespace Http
}  // namespace VantisClient
