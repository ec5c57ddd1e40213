#include "service/ServiceListener.h"

#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/TCPServerParams.h>

#include "service/ServiceConnection.h"
#include "service/ServiceLinkConstants.h"

namespace VantisClient {
namespace Service {
namespace {

const int MAX_QUEUED_CONNECTIONS = 16;
const int LISTEN_BACKLOG = 16;

}  // namespace

ServiceListener::ServiceListener(const RequestHandler& handler, uint16_t port)
    : m_handler(handler), m_port(port), m_threads(1, MAX_CONNECTIONS) {}

ServiceListener::~ServiceListener() { shutdown(); }

bool ServiceListener::start(std::string& error) {
    try {
        if (!m_socket) {
            std::unique_ptr<Poco::Net::ServerSocket> socket(new Poco::Net::ServerSocket);
            socket->bind(Poco::Net::SocketAddress(SERVICE_HOST, m_port), true);
            socket->listen(LISTEN_BACKLOG);
            m_port = socket->address().port();
            m_socket = std::move(socket);
        }
        Poco::Net::TCPServerParams::Ptr parameters = new Poco::Net::TCPServerParams;
        parameters->setMaxThreads(MAX_CONNECTIONS);
        parameters->setMaxQueued(MAX_QUEUED_CONNECTIONS);
        m_server.reset(new Poco::Net::TCPServer(new ServiceConnection::Factory(m_handler, m_stopping), m_threads,
                                                *m_socket, parameters));
        m_server->start();
        return true;
    } catch (const Poco::Exception& e) {
        m_server.reset();
        error = e.displayText();
        return false;
    }
}

void ServiceListener::stop() {
    if (!m_server) return;
    m_server->stop();
    m_server.reset();
}

void ServiceListener::shutdown() {
    stop();
    if (m_socket) m_socket->close();
    m_socket.reset();
    m_stopping = true;
    m_threads.joinAll();
}

}  // namespace Service
}  // namespace VantisClient
