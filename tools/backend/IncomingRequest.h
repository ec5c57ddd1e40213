// The parts of an HTTP request that the routes look at, taken off the wire once:
// method, path with repeated slashes folded, query and form parameters, the
// bearer token and the range asked for.
// Thread-safety: a plain value.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace VantisClient {
namespace Backend {

struct IncomingRequest {
    std::string method;
    std::string path;
    std::map<std::string, std::string> parameters;
    std::string bearerToken;
    std::string range;
    std::string contentType;
    std::string controlToken;  // the control endpoint's header
    bool fromLoopback = false;
    std::string body;  // the raw body of a non-form request (control documents)

    std::string parameter(const std::string& name) const;
    bool isRead() const { return method == "GET" || method == "HEAD"; }
    // The path split at "/", without empty pieces.
    std::vector<std::string> segments() const;
};

}  // namespace Backend
}  // namespace VantisClient
