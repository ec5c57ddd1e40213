// Sends a Reply on a server connection, applying the body faults (truncate,
// corrupt, trickle, reset) and closing the connection without an answer for "drop".
// Thread-safety: stateless; each call works on its own connection.
#pragma once

#include <cstdint>
#include <functional>

#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>

#include "backend/FaultInjector.h"
#include "backend/Reply.h"

namespace VantisClient {
namespace Backend {

class ReplyWriter {
public:
    // The number of body bytes written.
    static uint64_t Write(Poco::Net::HTTPServerRequest& request, Poco::Net::HTTPServerResponse& response,
                          const Reply& reply, const Fault& fault);
    // Closes the connection under the request at once.
    static void Drop(Poco::Net::HTTPServerRequest& request, Poco::Net::HTTPServerResponse& response);

private:
    // Sends bytes on; false when they could not all go.
    using Sink = std::function<bool(const char*, size_t)>;
    static uint64_t writeBody(const Sink& sink, const Reply& reply, uint64_t limit, const Fault& fault);
    // `sink`, paced to `bytesPerSecond` from the first byte on.
    static Sink trickling(const Sink& sink, uint64_t bytesPerSecond);
    static void resetOnClose(Poco::Net::HTTPServerRequest& request);
};

}  // namespace Backend
}  // namespace VantisClient
