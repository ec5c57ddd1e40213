// Small HTTP and HTTPS servers on 127.0.0.1 for the network tests: each
// request goes to a handler the test gives, and the server counts requests
// and the connections they came on. Stops when destroyed.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <Poco/Net/HTTPServer.h>
#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/ThreadPool.h>

namespace VantisTest {

class LoopbackServer {
public:
    using Handler = std::function<void(Poco::Net::HTTPServerRequest&, Poco::Net::HTTPServerResponse&)>;

    // Plain HTTP.
    explicit LoopbackServer(Handler handler);
    // TLS with the given PEM certificate (chain) and key.
    LoopbackServer(Handler handler, const std::string& certificateFile, const std::string& keyFile);
    ~LoopbackServer();

    uint16_t port() const;
    // "127.0.0.1:<port>".
    std::string authority() const;
    int requests() const { return *m_requests; }
    // Distinct client connections seen so far.
    size_t connections() const;

private:
    static const int THREADS = 40;

    void start(Poco::Net::ServerSocket socket, Handler handler);

    Poco::ThreadPool m_threads;
    std::shared_ptr<std::atomic<int>> m_requests;
    std::shared_ptr<std::pair<std::mutex, std::set<std::string>>> m_peers;
    std::unique_ptr<Poco::Net::HTTPServer> m_server;
};

// A listener that takes connections but never reads or answers; it counts the
// connections, so a test sees a request arrive instead of sleeping for it.
class StalledServer {
public:
    StalledServer();
    ~StalledServer();
    uint16_t port() const { return m_port; }
    int connections() const { return m_connections; }

private:
    void acceptUntilClosed();

    Poco::Net::ServerSocket m_socket;
    uint16_t m_port;
    std::atomic<int> m_connections{0};
    std::vector<Poco::Net::StreamSocket> m_held;
    std::thread m_acceptor;
};

}  // namespace VantisTest
