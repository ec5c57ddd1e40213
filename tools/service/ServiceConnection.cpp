#include "service/ServiceConnection.h"

#include <chrono>
#include <vector>

#include <Poco/Timespan.h>

#include "service/PeerCredentials.h"
#include "service/ProtobufReader.h"
#include "service/ProtobufWriter.h"
#include "service/ServiceLog.h"

namespace VantisClient {
namespace Service {
namespace {

// How often a quiet connection looks at the stop flag.
const long WAIT_SLICE_MS = 250;
const unsigned FRAME_TIMEOUT_SECONDS = 1;

}  // namespace

ServiceConnection::ServiceConnection(Poco::Net::StreamSocket& socket, const RequestHandler& handler,
                                     const std::atomic<bool>& stopping)
    : m_socket(socket), m_handler(handler), m_stopping(stopping) {}

void ServiceConnection::run() {
    uid_t peer = 0;
    if (!isOwnUser(peer)) return;
    try {
        serve(peer);
    } catch (const Poco::Exception& e) {
        ServiceLog::Line("Connection from uid %u ended: %s", static_cast<unsigned>(peer), e.displayText().c_str());
    }
}

bool ServiceConnection::isOwnUser(uid_t& peer) {
    std::string from = "an unknown address";
    try {
        from = m_socket.peerAddress().toString();
        if (PeerCredentials::FindPeerUid(m_socket.peerAddress(), m_socket.address(), peer)) {
            if (peer == m_handler.owner()) return true;
            ServiceLog::Line("Refused the connection from %s: uid %u is not the service's user", from.c_str(),
                             static_cast<unsigned>(peer));
            return false;
        }
    } catch (const Poco::Exception&) {
        // The peer is already gone; so is its owner.
    }
    ServiceLog::Line("Refused the connection from %s: its owner is unknown", from.c_str());
    return false;
}

void ServiceConnection::serve(uid_t peer) {
    Poco::Net::StreamSocket& connection = m_socket;
    ProtobufReader reader(connection);
    ProtobufWriter writer(connection);
    auto lastFrame = std::chrono::steady_clock::now();
    while (!m_stopping) {
        if (std::chrono::steady_clock::now() - lastFrame > std::chrono::milliseconds(IDLE_LIMIT_MS)) return;
        // A frame held from the last receive is read without waiting for the socket.
        if (!reader.hasData() &&
            !connection.poll(Poco::Timespan(WAIT_SLICE_MS * 1000), Poco::Net::Socket::SELECT_READ)) {
            continue;
        }
        zorv::protocols::pb::Header header;
        std::vector<char> content;
        switch (reader.readWholePacket(header, content, FRAME_TIMEOUT_SECONDS)) {
            case ProtobufReader::READ_COMPLETE:
                m_handler.handle(header, content, writer, peer);
                lastFrame = std::chrono::steady_clock::now();
                break;
            case ProtobufReader::READ_INCOMPLETE:
            case ProtobufReader::READ_ERROR:
                break;
            case ProtobufReader::READ_BAD_HEADER:
            case ProtobufReader::READ_CLOSED:
                return;
        }
    }
}

}  // namespace Service
}  // namespace VantisClient
