// One connection to the service: served only when the peer runs as the
// service's own user, then frame by frame until the peer closes, sends what
// cannot be read, stays silent too long, or the service stops.
// Thread-safety: each connection runs on its own pool thread; the handler is
// shared, the stop flag is read between frames.
#pragma once

#include <atomic>

#include <Poco/Net/TCPServerConnection.h>
#include <Poco/Net/TCPServerConnectionFactory.h>

#include "service/RequestHandler.h"

namespace VantisClient {
namespace Service {

class ServiceConnection : public Poco::Net::TCPServerConnection {
public:
    // A connection that waits this long without a whole frame is closed.
    static constexpr long IDLE_LIMIT_MS = 10000;

    class Factory : public Poco::Net::TCPServerConnectionFactory {
    public:
        Factory(const RequestHandler& handler, const std::atomic<bool>& stopping);
        Poco::Net::TCPServerConnection* createConnection(const Poco::Net::StreamSocket& socket) override;

    private:
        const RequestHandler& m_handler;
        const std::atomic<bool>& m_stopping;
    };

    ServiceConnection(const Poco::Net::StreamSocket& socket, const RequestHandler& handler,
                      const std::atomic<bool>& stopping);
    void run() override;

private:
    bool isOwnUser(uid_t& peer);
    void serve(uid_t peer);

    const RequestHandler& m_handler;
    const std::atomic<bool>& m_stopping;
};

}  // namespace Service
}  // namespace VantisClient
