// Writes a request's address for people and for the wire. The printed form is
// the one every log line and report shows: parameters as they are, in name
// order, with the values of secrets masked. The wire form percent-encodes the
// parameters, so a value holding "&", "+", "#", "=" or a blank arrives intact.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>

#include "net/HttpRequest.h"

namespace VantisClient {
namespace Http {

class UrlPrinter {
public:
    // scheme://host[:port]/path[?name=value&...]; secrets masked.
    static std::string UrlToString(const HttpRequest& request);
    // The value of the request's "Range" header, or the empty string.
    static std::string RangeToString(const HttpRequest& request);
    // "/" + path, then the encoded parameters: the request target sent.
    static std::string RequestTarget(const HttpRequest& request);
    // `value` percent-encoded for a query (everything but unreserved characters).
    static std::string EncodeQueryValue(const std::string& value);
};

}  // namespace Http
}  // namespace VantisClient
