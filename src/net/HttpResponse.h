// The answer to one request, as its listener receives it.
// Thread-safety: a plain record; one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "net/HttpMessage.h"

namespace VantisClient {
namespace Http {

class HttpResponse : public HttpMessage {
public:
    static const int32_t NO_STATUS = -1;

    // -1 until a response was received.
    int32_t statusCode = NO_STATUS;
    // The id of the request it answers.
    std::string requestId;
};

}  // namespace Http
}  // namespace VantisClient
