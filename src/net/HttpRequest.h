// One request to a backend host, as its sender fills it in. The worker that
// performs it works on a copy; copies keep the request id, so a resent request
// logs under its first id.
// Thread-safety: a plain record; one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "net/HttpMessage.h"

namespace VantisClient {
namespace Http {

class HttpRequest : public HttpMessage {
public:
    enum Version { HTTP_VERSION_1_0 = 0, HTTP_VERSION_1_1 = 1 };
    enum Method { HTTP_METHOD_GET = 0, HTTP_METHOD_HEAD = 1, HTTP_METHOD_POST = 2, HTTP_METHOD_PUT = 3, HTTP_METHOD_DELETE = 4 };
    enum Protocol { PROTOCOL_HTTP = 0, PROTOCOL_HTTPS = 1 };

    static const int32_t DEFAULT_TIMEOUT_SECONDS = 5;

    // Stamps the request with a new id: microseconds since 2014-03-01 UTC in
    // upper-case hexadecimal.
    HttpRequest();

    // Adds the current UTC time, in the HTTP date format, under `headerName`;
    // an earlier value stays beside it.
    void addTimeStamp(const std::string& headerName);

    Version version = HTTP_VERSION_1_1;
    Method method = HTTP_METHOD_GET;
    // Without its leading "/"; may carry its own query after "?".
    std::string path;
    // Appended to the URL in name order.
    std::map<std::string, std::string> params;
    Protocol protocol = PROTOCOL_HTTP;
    std::string host;
    // 0 is the scheme's default port.
    uint16_t port = 0;
    // How many more times the request is queued again after a server error.
    int32_t resendAttempts = 0;
    // Bytes per second while the response body is read; 0 is no limit.
    uint32_t speedLimit = 0;
    // Bounds connecting, sending and each receive; keep-alive time of the session.
    int32_t timeout = DEFAULT_TIMEOUT_SECONDS;
    std::string requestId;
};

}  // namespace Http
}  // namespace VantisClient
