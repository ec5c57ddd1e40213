// A stand-in for the service on an ephemeral loopback port: it reads one frame
// per connection, lets the test answer it, and closes the connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/StreamSocket.h>

#include "service/ProtobufWriter.h"
#include "service/zorv_pb.pb.h"

namespace VantisTest {

class FakeService {
public:
    using Responder = std::function<void(const zorv::protocols::pb::Header& request,
                                         VantisClient::ProtobufWriter& writer, Poco::Net::StreamSocket& connection)>;

    explicit FakeService(Responder responder);
    ~FakeService();
    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

    uint16_t port() const { return m_listener.address().port(); }
    int connections() const { return m_connections; }

private:
    void run();
    void serve(Poco::Net::StreamSocket connection);

    Responder m_responder;
    Poco::Net::ServerSocket m_listener;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

}  // namespace VantisTest
