// The plain-HTTP side of the backend: the game card page and its assets under
// "/gameview/dist/<gid>/" for every game id of the catalogue (which also answers
// the client's web-page check) with the game's cover picture at
// "/gameview/dist/<gid>/cover" when the catalogue has one, user pictures, the problem-report collector
// "/problem.php", and the control endpoint for tests. Control requests come
// only from loopback peers, carry the control token drawn at start in
// "X-Control-Token" and say "Content-Type: application/json" (which a web page
// cannot send without asking first), and no fault rule ever applies to them:
//   POST   /control/faults          add rules (see FaultInjector)
//   DELETE /control/faults          remove every rule
//   GET    /control/served          what was served, oldest first
//   DELETE /control/served          forget it
//   POST   /control/expire-tokens   every access token issued so far expires
//   POST   /control/revoke-tokens   every access and refresh token is forgotten
//   POST   /control/expire-links    every content link handed out so far stops working
//   POST   /control/status          {"status": "..."} for the configuration file
//   GET    /control/reports         the problem reports received
// Thread-safety: stateless beyond the shared context.
#pragma once

#include <string>
#include <vector>

#include "backend/BackendContext.h"
#include "backend/IncomingRequest.h"
#include "backend/Reply.h"

namespace VantisClient {
namespace Backend {

class WebRoutes {
public:
    static const char* const GAMECARD_PREFIX;
    static const char* const CONTROL_TOKEN_HEADER;
    // The game's cover picture, below its card's address.
    static const char* const COVER_NAME;

    explicit WebRoutes(BackendContext& context);

    Reply handle(const IncomingRequest& request);

    static bool IsControlPath(const std::string& path);

private:
    struct Command;

    Reply gamecard(const std::vector<std::string>& segments);
    Reply cover(const std::string& gameId) const;
    Reply problemReport(const IncomingRequest& request);
    Reply control(const IncomingRequest& request, const std::string& name);
    static Reply avatar();

    Reply addFaults(const IncomingRequest& request);
    Reply clearFaults(const IncomingRequest& request);
    Reply listServed(const IncomingRequest& request);
    Reply clearServed(const IncomingRequest& request);
    Reply expireTokens(const IncomingRequest& request);
    Reply revokeTokens(const IncomingRequest& request);
    Reply expireLinks(const IncomingRequest& request);
    Reply setStatus(const IncomingRequest& request);
    Reply listReports(const IncomingRequest& request);

    BackendContext& m_context;
};

}  // namespace Backend
}  // namespace VantisClient
