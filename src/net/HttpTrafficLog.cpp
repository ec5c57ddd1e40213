#include "net/HttpTrafficLog.h"

#include <Poco/NumberFormatter.h>

#include "common/SecretRedactor.h"
#include "net/UrlPrinter.h"

namespace VantisClient {
namespace Http {
namespace {

const char* const METHOD_NAMES[] = {"HTTP_METHOD_GET", "HTTP_METHOD_HEAD", "HTTP_METHOD_POST", "HTTP_METHOD_PUT",
                                    "HTTP_METHOD_DELETE"};

std::string headerLines(const Poco::Net::NameValueCollection& headers) {
    std::string lines;
    for (const auto& header : headers) {
        lines += header.first + ":" + SecretRedactor::maskHeaderValue(header.first, header.second) + "\n";
    }
    return lines;
}

}  // namespace

const char* const HttpTrafficLog::CHANNEL = "HttpTraffic";

std::string HttpTrafficLog::RequestBlock(const HttpRequest& request, const Poco::Net::HTTPRequest& sent) {
    std::string block = "[HTTP REQUEST][" + request.requestId + "]\n";
    block += request.version == HttpRequest::HTTP_VERSION_1_0 ? "Version: HTTP 1.0\n" : "Version: HTTP 1.1\n";
    block += std::string("Method: ") + METHOD_NAMES[request.method] + "\n";
    block += "Url: " + UrlPrinter::UrlToString(request) + "\n";
    return block + headerLines(sent);
}

std::string HttpTrafficLog::ResponseBlock(const std::string& requestId, const Poco::Net::HTTPResponse& received) {
    std::string block = "[HTTP RESPONSE][" + requestId + "]\n";
    block += "Response code: " + Poco::NumberFormatter::format(static_cast<int>(received.getStatus())) + " " +
             received.getReason() + "(" + Poco::NumberFormatter::format(received.getContentLength64()) + " bytes)\n";
    return block + headerLines(received);
}

std::string HttpTrafficLog::ResponseBodyBlock(const std::string& requestId, const std::string& body) {
    return "[HTTP RESPONSE BODY][" + requestId + "]\n" + SecretRedactor::maskJsonTokens(body);
}

}  // namespace Http
}  // namespace VantisClient
