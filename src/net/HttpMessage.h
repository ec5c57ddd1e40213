// What a request and a response have in common: header lines and a body.
// Thread-safety: a plain record; one thread at a time.
#pragma once

#include <map>
#include <string>

#include <Poco/String.h>

namespace VantisClient {
namespace Http {

// Header names compare without regard to letter case, as HTTP wants.
struct CaseInsensitiveLess {
    bool operator()(const std::string& left, const std::string& right) const {
        return Poco::icompare(left, right) < 0;
    }
};

// A name may occur several times; values keep the order they were added in.
using HeaderMap = std::multimap<std::string, std::string, CaseInsensitiveLess>;

class HttpMessage {
public:
    virtual ~HttpMessage() = default;

    // The last value added under `name`, or the empty string.
    std::string lastHeader(const std::string& name) const;

    HeaderMap headers;
    std::string body;
};

}  // namespace Http
}  // namespace VantisClient
