// Serves one request on either listener: reads it into an IncomingRequest,
// consults the fault rules (never for control requests), asks the listener's
// routes for the reply, writes it and records what was served.
// Thread-safety: one instance per listener, shared by its connections; it only
// reads its members, so requests may be handled concurrently.
#pragma once

#include <functional>
#include <string>

#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>

#include "backend/BackendContext.h"
#include "backend/IncomingRequest.h"
#include "backend/Reply.h"

namespace VantisClient {
namespace Backend {

using Route = std::function<Reply(const IncomingRequest&)>;

class BackendRequestHandler {
public:
    // One limit for every request body, forms included.
    static const size_t BODY_LIMIT = 1024 * 1024;

    BackendRequestHandler(BackendContext& context, const std::string& listener, const Route& route);

    // `requestRead` is called once the whole request, body included, has arrived.
    void handleRequest(Poco::Net::HTTPServerRequest& request, Poco::Net::HTTPServerResponse& response,
                       const std::function<void()>& requestRead) const;

    enum class ReadResult { Complete, Malformed, TooLarge };
    static ReadResult Read(Poco::Net::HTTPServerRequest& request, IncomingRequest& incoming);

private:
    BackendContext& m_context;
    const std::string m_listener;
    const Route m_route;
};

}  // namespace Backend
}  // namespace VantisClient
