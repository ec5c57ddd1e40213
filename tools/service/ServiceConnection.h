// One connection to the service: served only when the peer runs as the
// service's own user, then frame by frame until the peer closes, sends what
// cannot be read, stays silent too long, or the service stops.
// Thread-safety: each connection runs on one worker thread; the handler is
// shared, the stop flag is read between frames.
#pragma once

#include <sys/types.h>

#include <atomic>

#include <Poco/Net/StreamSocket.h>

#include "service/RequestHandler.h"

namespace VantisClient {
namespace Service {

class ServiceConnection {
public:
    // A connection that waits this long without a whole frame is closed.
    static constexpr long IDLE_LIMIT_MS = 10000;

    // Neither is owned; both outlive the connection.
    ServiceConnection(Poco::Net::StreamSocket& socket, const RequestHandler& handler,
                      const std::atomic<bool>& stopping);
    void run();

private:
    bool isOwnUser(uid_t& peer);
    void serve(uid_t peer);

    Poco::Net::StreamSocket& m_socket;
    const RequestHandler& m_handler;
    const std::atomic<bool>& m_stopping;
};

}  // namespace Service
}  // namespace VantisClient
