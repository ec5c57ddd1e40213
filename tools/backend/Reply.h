// One answer of the backend before it is written: status, headers and a body
// held in memory or taken from a range of a file. Routes build replies; the
// writer sends them and applies body faults on the way.
// Thread-safety: a plain value.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <Poco/JSON/Object.h>

namespace VantisClient {
namespace Backend {

struct Reply {
    int status = 200;
    std::string contentType = "application/json";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // When set, the body is `length` bytes of this file from `offset`.
    std::string filePath;
    uint64_t offset = 0;
    uint64_t length = 0;

    uint64_t bodySize() const { return filePath.empty() ? body.size() : length; }

    static Reply Json(int status, const Poco::JSON::Object::Ptr& object);
    // {"error": code, "error_description": description}
    static Reply Error(int status, const std::string& code, const std::string& description);
    static Reply Link(const std::string& link);
    // 405 with the methods the resource serves in "Allow".
    static Reply MethodNotAllowed(const std::string& allowed);
    static Reply Html(int status, const std::string& html);
};

}  // namespace Backend
}  // namespace VantisClient
