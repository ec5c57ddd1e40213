#include "FakeService.h"

#include <vector>

#include <Poco/Net/SocketAddress.h>

#include "service/ProtobufReader.h"

namespace VantisTest {

FakeService::FakeService(Responder responder) : m_responder(std::move(responder)) {
    m_listener.bind(Poco::Net::SocketAddress("127.0.0.1", 0), true);
    m_listener.listen();
    m_thread = std::thread([this] { run(); });
}

FakeService::~FakeService() {
    m_stop = true;
    m_thread.join();
}

void FakeService::run() {
    while (!m_stop) {
        if (!m_listener.poll(Poco::Timespan(0, 20000), Poco::Net::Socket::SELECT_READ)) continue;
        serve(m_listener.acceptConnection());
    }
}

void FakeService::serve(Poco::Net::StreamSocket connection) {
    ++m_connections;
    VantisClient::ProtobufReader reader(connection);
    VantisClient::ProtobufWriter writer(connection);
    zorv::protocols::pb::Header request;
    std::vector<char> content;
    VantisClient::ProtobufReader::EReadResult result = VantisClient::ProtobufReader::READ_INCOMPLETE;
    while (result == VantisClient::ProtobufReader::READ_INCOMPLETE)
        result = reader.readWholePacket(request, content, 5);
    if (result == VantisClient::ProtobufReader::READ_COMPLETE) m_responder(request, writer, connection);
    connection.close();
}

}  // namespace VantisTest
