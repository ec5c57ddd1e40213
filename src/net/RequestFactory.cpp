#include "net/RequestFactory.h"

#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>
#include <Poco/NumberParser.h>
#include <Poco/String.h>
#include <Poco/URI.h>

#include "common/Constants.h"
#include "common/Logger.h"
#include "common/SecretRedactor.h"
#include "net/HostProvider.h"
#include "net/UrlPrinter.h"

namespace VantisClient {
namespace Http {
namespace {

const int32_t PRODUCTS_TIMEOUT_SECONDS = 10;
const int32_t WEB_PAGE_TIMEOUT_SECONDS = 2;
const char* const LOGIN_REDIRECT_URI = "vantisclient://login_success";

std::string withoutLeadingSlash(const std::string& path) {
    return !path.empty() && path[0] == '/' ? path.substr(1) : path;
}

}  // namespace

void RequestFactory::targetSecureHost(HttpRequest& request, const std::string& hostValue) {
    request.protocol = HttpRequest::PROTOCOL_HTTPS;
    request.host = hostValue;
    // 0 is the scheme's own port, 443.
    request.port = 0;
    const std::string::size_type colon = hostValue.rfind(':');
    unsigned port = 0;
    if (colon != std::string::npos && Poco::NumberParser::tryParseUnsigned(hostValue.substr(colon + 1), port) &&
        port > 0 && port <= 0xFFFF) {
        request.host = hostValue.substr(0, colon);
        request.port = static_cast<uint16_t>(port);
    }
}

bool RequestFactory::IsBackendRequest(const HttpRequest& request) {
    if (request.protocol != HttpRequest::PROTOCOL_HTTPS) return false;
    HostProvider* hosts = HostProvider::Instance();
    for (const std::string& hostValue : {hosts->getConfigHost(), hosts->getAuthHost(), hosts->getUsersHost(),
                                         hosts->getProductsHost()}) {
        HttpRequest target;
        targetSecureHost(target, hostValue);
        if (target.host == request.host && target.port == request.port) return true;
    }
    return false;
}

bool RequestFactory::parseLink(const std::string& url, Poco::URI& uri) {
    try {
        uri = Poco::URI(url);
    } catch (const Poco::Exception& error) {
        Logger::LogError("Malformed link %s: %s", SecretRedactor::maskUrl(url).c_str(), error.displayText().c_str());
        return false;
    }
    if (uri.getHost().empty()) {
        Logger::LogError("Malformed link %s: it names no host", SecretRedactor::maskUrl(url).c_str());
        return false;
    }
    return true;
}

bool RequestFactory::targetUrl(HttpRequest& request, const std::string& url) {
    request.host.clear();
    Poco::URI uri;
    if (!parseLink(url, uri)) return false;
    request.host = uri.getHost();
    request.protocol = uri.getScheme() == "http" ? HttpRequest::PROTOCOL_HTTP : HttpRequest::PROTOCOL_HTTPS;
    request.port = uri.getPort();
    request.path = withoutLeadingSlash(uri.getPathAndQuery());
    return true;
}

bool RequestFactory::AcceptsContentLink(const std::string& url, const std::string& what) {
    Poco::URI uri;
    if (!parseLink(url, uri)) return false;
    if (uri.getScheme() == "https") return true;
    Logger::LogError("Refused the link for %s to host '%s' over '%s': content is fetched over https only",
                     what.c_str(), uri.getHost().c_str(), uri.getScheme().c_str());
    return false;
}

HttpRequest RequestFactory::productsRequest(const std::string& path) {
    HttpRequest request;
    targetSecureHost(request, HostProvider::Instance()->getProductsHost());
    request.path = path;
    request.timeout = PRODUCTS_TIMEOUT_SECONDS;
    return request;
}

std::string RequestFactory::operatingSystemPath(const std::string& gameId) {
    return "games/" + gameId + "/os/" + Poco::toLower(std::string(OPERATING_SYSTEM_STRING));
}

HttpRequest RequestFactory::getManifestUrl(const std::string& gameId) {
    return productsRequest(operatingSystemPath(gameId) + "/rootManifests");
}

HttpRequest RequestFactory::getDepotManifestUrl(const std::string& gameId, const std::string& manifest) {
    return productsRequest(operatingSystemPath(gameId) + "/manifests/" + manifest);
}

HttpRequest RequestFactory::getDepotBinaryFileUrl(const std::string& gameId, const std::string& depot,
                                                  const std::string& file) {
    return productsRequest(operatingSystemPath(gameId) + "/depots/" + depot + "/" + file);
}

HttpRequest RequestFactory::getRedistributableManifestOrBinary(const std::string& package, const std::string& file) {
    return productsRequest("redists/packages/" + package + "/files/" + file);
}

HttpRequest RequestFactory::getRedistributablesMainManifest() {
    return getRedistributableManifestOrBinary("manifests", "repository.json");
}

HttpRequest RequestFactory::getRedistributableManifest(const std::string& name) {
    return getRedistributableManifestOrBinary("manifests", name);
}

HttpRequest RequestFactory::getRedistributableBinary(const std::string& package, const std::string& file) {
    return getRedistributableManifestOrBinary(package, file);
}

HttpRequest RequestFactory::getManifestOrBinaryFile(const std::string& url) {
    HttpRequest request;
    targetUrl(request, url);
    request.timeout = PRODUCTS_TIMEOUT_SECONDS;
    return request;
}

HttpRequest RequestFactory::getExchangeTokenRequest(const std::string& code) {
    HttpRequest request;
    targetSecureHost(request, HostProvider::Instance()->getAuthHost());
    request.path = "token?client_id=" + UrlPrinter::EncodeQueryValue(CLIENT_ID) +
                   "&client_secret=" + UrlPrinter::EncodeQueryValue(CLIENT_SECRET) +
                   "&grant_type=authorization_code&code=" + UrlPrinter::EncodeQueryValue(code) +
                   "&redirect_uri=" + UrlPrinter::EncodeQueryValue(LOGIN_REDIRECT_URI);
    // The code stays valid for its lifetime, so a failed exchange may be asked again.
    request.resendAttempts = TOKEN_REQUEST_RESENDS;
    return request;
}

HttpRequest RequestFactory::getUserDetails(uint64_t userId) {
    HttpRequest request;
    targetSecureHost(request, HostProvider::Instance()->getUsersHost());
    request.path = "users/" + Poco::NumberFormatter::format(userId);
    return request;
}

HttpRequest RequestFactory::getUserOwnProduct(const std::string& gameId) {
    HttpRequest request = productsRequest("licences?gameId=" + UrlPrinter::EncodeQueryValue(gameId));
    request.timeout = HttpRequest::DEFAULT_TIMEOUT_SECONDS;
    return request;
}

HttpRequest RequestFactory::getAPIStatus() {
    HttpRequest request;
    targetSecureHost(request, HostProvider::Instance()->getConfigHost());
    request.path = API_STATUS_FILENAME;
    return request;
}

HttpRequest RequestFactory::getWebPageAvailable(const std::string& url) {
    const Poco::URI uri(url);
    HttpRequest request;
    request.protocol = HttpRequest::PROTOCOL_HTTP;
    request.host = uri.getHost();
    // Only a port the address names; a page behind https:// is still checked over plain HTTP.
    request.port = uri.getSpecifiedPort();
    request.path = withoutLeadingSlash(uri.getPathAndQuery());
    request.timeout = WEB_PAGE_TIMEOUT_SECONDS;
    return request;
}

}  // namespace Http
}  // namespace VantisClient
