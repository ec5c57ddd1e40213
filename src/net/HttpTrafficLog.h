// The blocks that describe one exchange on the "HttpTraffic" channel: the
// request as sent, the response head, and a JSON response body. Header values
// pass through the secret redactor, so a bearer token or an OAuth reply never
// reaches a log line.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>

#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>

#include "net/HttpRequest.h"

namespace VantisClient {
namespace Http {

class HttpTrafficLog {
public:
    static const char* const CHANNEL;

    static std::string RequestBlock(const HttpRequest& request, const Poco::Net::HTTPRequest& sent);
    static std::string ResponseBlock(const std::string& requestId, const Poco::Net::HTTPResponse& received);
    static std::string ResponseBodyBlock(const std::string& requestId, const std::string& body);
};

}  // namespace Http
}  // namespace VantisClient
