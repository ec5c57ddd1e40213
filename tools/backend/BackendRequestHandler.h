// Serves one request on either listener: reads it into an IncomingRequest,
// consults the fault rules, asks the listener's routes for the reply, writes it
// and records what was served.
// Thread-safety: one handler per request, on a server worker thread.
#pragma once

#include <functional>
#include <string>

#include <Poco/Net/HTTPRequestHandler.h>
#include <Poco/Net/HTTPRequestHandlerFactory.h>

#include "backend/BackendContext.h"
#include "backend/IncomingRequest.h"
#include "backend/Reply.h"

namespace VantisClient {
namespace Backend {

using Route = std::function<Reply(const IncomingRequest&)>;

class BackendRequestHandler : public Poco::Net::HTTPRequestHandler {
public:
    static const size_t BODY_LIMIT = 16 * 1024 * 1024;

    BackendRequestHandler(BackendContext& context, const std::string& listener, const Route& route);
    void handleRequest(Poco::Net::HTTPServerRequest& request, Poco::Net::HTTPServerResponse& response) override;

    // False when the request cannot be read (a malformed form, a body too large).
    static bool Read(Poco::Net::HTTPServerRequest& request, IncomingRequest& incoming);

private:
    BackendContext& m_context;
    const std::string m_listener;
    const Route m_route;
};

class BackendRequestHandlerFactory : public Poco::Net::HTTPRequestHandlerFactory {
public:
    BackendRequestHandlerFactory(BackendContext& context, const std::string& listener, const Route& route);
    Poco::Net::HTTPRequestHandler* createRequestHandler(const Poco::Net::HTTPServerRequest& request) override;

private:
    BackendContext& m_context;
    const std::string m_listener;
    const Route m_route;
};

}  // namespace Backend
}  // namespace VantisClient
