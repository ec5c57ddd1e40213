#include "net/UrlPrinter.h"

#include <Poco/NumberFormatter.h>
#include <Poco/URI.h>

#include "common/SecretRedactor.h"

namespace VantisClient {
namespace Http {
namespace {

// Everything outside the unreserved set is encoded.
const char* const QUERY_RESERVED = "!#$&'()*+,/:;=?@[]%\" <>\\^`{|}";

std::string printedParameters(const HttpRequest& request) {
    std::string printed;
    for (const auto& parameter : request.params) {
        if (!printed.empty()) printed += '&';
        printed += parameter.first;
        if (parameter.second.empty()) continue;
        // Masked here, by name: a secret holding "&" would escape masking in the joined text.
        printed += "=" + (SecretRedactor::isSecretParameter(parameter.first) ? std::string(SecretRedactor::MASK)
                                                                             : parameter.second);
    }
    return printed;
}

std::string encodedParameters(const HttpRequest& request) {
    std::string encoded;
    for (const auto& parameter : request.params) {
        if (!encoded.empty()) encoded += '&';
        encoded += UrlPrinter::EncodeQueryValue(parameter.first);
        if (!parameter.second.empty()) encoded += "=" + UrlPrinter::EncodeQueryValue(parameter.second);
    }
    return encoded;
}

}  // namespace

std::string UrlPrinter::UrlToString(const HttpRequest& request) {
    std::string url = request.protocol == HttpRequest::PROTOCOL_HTTPS ? "https" : "http";
    url += "://" + request.host;
    if (request.port != 0) url += ":" + Poco::NumberFormatter::format(request.port);
    url += "/" + request.path;
    if (!request.params.empty()) url += "?" + printedParameters(request);
    return SecretRedactor::maskUrl(url);
}

std::string UrlPrinter::RangeToString(const HttpRequest& request) { return request.lastHeader("Range"); }

std::string UrlPrinter::RequestTarget(const HttpRequest& request) {
    std::string target = "/" + request.path;
    if (!request.params.empty()) {
        target += target.find('?') == std::string::npos ? '?' : '&';
        target += encodedParameters(request);
    }
    return target;
}

std::string UrlPrinter::EncodeQueryValue(const std::string& value) {
    std::string encoded;
    Poco::URI::encode(value, QUERY_RESERVED, encoded);
    return encoded;
}

}  // namespace Http
}  // namespace VantisClient
