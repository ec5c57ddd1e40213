#include "service/ServiceListener.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include <Poco/Error.h>
#include <Poco/Net/SocketAddress.h>

#include "service/ServiceConnection.h"
#include "service/ServiceLinkConstants.h"
#include "service/ServiceLog.h"

namespace VantisClient {
namespace Service {
namespace {

const int LISTEN_BACKLOG = 16;

}  // namespace

ServiceListener::ServiceListener(const RequestHandler& handler, uint16_t port)
    : m_handler(handler),
      m_port(port),
      m_pool(
          MAX_CONNECTIONS, MAX_QUEUED_CONNECTIONS,
          [this](Poco::Net::StreamSocket& connection) { ServiceConnection(connection, m_handler, m_stopping).run(); }),
      m_wakeUp(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ServiceListener::~ServiceListener() { shutdown(); }

bool ServiceListener::start(std::string& error) {
    if (!m_socket && !bind(error)) return false;
    if (!m_wakeUp.isOpen()) {
        error = "no wake-up descriptor";
        return false;
    }
    m_accepting = std::thread([this] { acceptConnections(); });
    return true;
}

bool ServiceListener::bind(std::string& error) {
    try {
        std::unique_ptr<Poco::Net::ServerSocket> socket(new Poco::Net::ServerSocket);
        socket->bind(Poco::Net::SocketAddress(SERVICE_HOST, m_port), true);
        socket->listen(LISTEN_BACKLOG);
        // A peer gone between poll and accept must not block the accepting thread.
        socket->setBlocking(false);
        m_port = socket->address().port();
        m_socket = std::move(socket);
        return true;
    } catch (const Poco::Exception& e) {
        error = e.displayText();
        return false;
    }
}

void ServiceListener::stop() {
    if (!m_accepting.joinable()) return;
    const uint64_t one = 1;
    if (::write(m_wakeUp.get(), &one, sizeof(one)) < 0) ServiceLog::Line("Cannot wake the listener up");
    m_accepting.join();
    uint64_t pending = 0;
    while (::read(m_wakeUp.get(), &pending, sizeof(pending)) > 0) {
    }
}

void ServiceListener::shutdown() {
    stop();
    m_stopping = true;
    m_pool.shutdown();
    m_socket.reset();
}

void ServiceListener::acceptConnections() {
    struct pollfd watched[2] = {{m_socket->impl()->sockfd(), POLLIN, 0}, {m_wakeUp.get(), POLLIN, 0}};
    for (;;) {
        if (::poll(watched, 2, -1) < 0 && errno != EINTR) {
            ServiceLog::Line("The listener stopped: %s", Poco::Error::getMessage(errno).c_str());
            return;
        }
        if (watched[1].revents != 0) return;
        if ((watched[0].revents & (POLLERR | POLLNVAL)) != 0) {
            ServiceLog::Line("The listener stopped: its socket failed");
            return;
        }
        if ((watched[0].revents & POLLIN) == 0) continue;
        try {
            // Built here and handed over whole: the worker is its only user from now on.
            std::unique_ptr<Poco::Net::StreamSocket> connection(
                new Poco::Net::StreamSocket(m_socket->acceptConnection()));
            connection->setBlocking(true);
            if (!m_pool.offer(std::move(connection))) ServiceLog::Line("Too many connections: one was closed");
        } catch (const Poco::Exception&) {
            // The peer left before its connection was accepted.
        }
    }
}

}  // namespace Service
}  // namespace VantisClient
