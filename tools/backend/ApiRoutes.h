// The HTTPS side of the backend: login page and tokens (auth host), user
// details (users host), licences, manifests links, content links and the
// redistributables repository (products host), the client configuration file
// (config host), and the signed content itself with byte ranges.
//
// Requests that carry the user's token ("users", "licences", "games",
// "redists") answer 401 for a missing, unknown or expired token. Links to a
// game's product manifest, depot manifests and content answer 403 when the user
// does not own that game. Methods a route does not serve answer 405.
//
// Thread-safety: stateless beyond the shared context; safe from the server's
// worker threads.
#pragma once

#include <string>
#include <vector>

#include "backend/BackendContext.h"
#include "backend/IncomingRequest.h"
#include "backend/Reply.h"

namespace VantisClient {
namespace Backend {

class ApiRoutes {
public:
    explicit ApiRoutes(BackendContext& context);

    Reply handle(const IncomingRequest& request);

    // "bytes=a-b", "bytes=a-" or "bytes=-n" against a body of `size` bytes. A
    // malformed header gives the whole body; a position too large for 64 bits
    // is unsatisfiable.
    enum class RangeResult { Whole, Part, Unsatisfiable };
    static RangeResult ParseRange(const std::string& header, uint64_t size, uint64_t& start, uint64_t& length);

private:
    enum class Number { Absent, Valid, Malformed, TooLarge };
    // Decimal digits only, with overflow detected rather than wrapped.
    static Number ParseNumber(const std::string& digits, uint64_t& value);

    Reply configuration();
    Reply loginPage(const IncomingRequest& request);
    Reply login(const IncomingRequest& request);
    Reply token(const IncomingRequest& request);
    Reply grant(const std::string& userId, const std::string& refreshToken = "");
    Reply user(const std::string& userId, const std::string& requested);
    Reply licence(const std::string& userId, const IncomingRequest& request);
    Reply game(const std::string& userId, const std::vector<std::string>& segments);
    Reply redist(const std::vector<std::string>& segments);
    Reply content(const IncomingRequest& request);
    Reply linkTo(const std::string& cataloguePath);

    BackendContext& m_context;
};

}  // namespace Backend
}  // namespace VantisClient
