// The plain-HTTP side of the backend: the game card page and its assets under
// "/gameview/dist/<gid>/" for every game id of the catalogue (which also answers
// the client's web-page check), user pictures, the problem-report collector
// "/problem.php", and the control endpoint for tests, which only answers
// loopback peers:
//   POST   /control/faults          add rules (see FaultInjector)
//   DELETE /control/faults          remove every rule
//   GET    /control/served          what was served, oldest first
//   DELETE /control/served          forget it
//   POST   /control/expire-tokens   every access token issued so far expires
//   POST   /control/expire-links    every content link handed out so far stops working
//   POST   /control/status          {"status": "..."} for the configuration file
//   GET    /control/reports         the problem reports received
// Thread-safety: stateless beyond the shared context.
#pragma once

#include "backend/BackendContext.h"
#include "backend/IncomingRequest.h"
#include "backend/Reply.h"

namespace VantisClient {
namespace Backend {

class WebRoutes {
public:
    static const char* const GAMECARD_PREFIX;

    explicit WebRoutes(BackendContext& context);

    Reply handle(const IncomingRequest& request);

private:
    Reply gamecard(const std::vector<std::string>& segments);
    Reply problemReport(const IncomingRequest& request);
    Reply control(const IncomingRequest& request, const std::string& command);
    static Reply avatar();

    BackendContext& m_context;
};

}  // namespace Backend
}  // namespace VantisClient
