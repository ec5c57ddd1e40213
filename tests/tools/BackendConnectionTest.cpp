// How the backend's listeners treat their peers: ports that are taken, slow and
// idle connections, request heads it cannot serve, status lines and methods.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <Poco/Net/StreamSocket.h>
#include <gtest/gtest.h>

#include "BackendFixture.h"
#include "backend/BackendRequestHandler.h"

using VantisClient::Backend::BackendOptions;
using VantisClient::Backend::BackendRequestHandler;
using VantisClient::Backend::BackendServer;
using VantisTest::HttpResult;

namespace {

using Clock = std::chrono::steady_clock;

const std::string GAMECARD = "/gameview/dist/1207658924/index.html";

Poco::Net::StreamSocket connectTo(int port) {
    return Poco::Net::StreamSocket(Poco::Net::SocketAddress("127.0.0.1", static_cast<Poco::UInt16>(port)));
}

// Reads until the peer closes; false when it is still open after `limit`.
// Between reads it sends `trickle`, one byte at a time, when there is one.
bool closesWithin(Poco::Net::StreamSocket& socket, std::chrono::milliseconds limit, const std::string& trickle = "") {
    const Clock::time_point deadline = Clock::now() + limit;
    size_t sent = 0;
    char buffer[4096];
    while (Clock::now() < deadline) {
        try {
            if (sent < trickle.size()) socket.sendBytes(&trickle[sent++], 1);
            if (socket.poll(Poco::Timespan(0, 50000), Poco::Net::Socket::SELECT_READ) &&
                socket.receiveBytes(buffer, sizeof(buffer)) <= 0) {
                return true;
            }
        } catch (const Poco::Exception&) {
            return true;  // reset by the backend
        }
    }
    return false;
}

}  // namespace

class BackendConnectionTest : public VantisTest::BackendTest {};

TEST_F(BackendConnectionTest, ASecondInstanceCannotTakeAPortInUse) {
    startBackend();
    struct Case {
        const char* name;
        bool api;
    };
    for (const Case& test : {Case{"api port taken", true}, Case{"web port taken", false}}) {
        SCOPED_TRACE(test.name);
        BackendOptions options = completed({});
        const int taken = test.api ? server->apiPort() : server->webPort();
        (test.api ? options.apiPort : options.webPort) = taken;
        BackendServer second(options);
        std::string error;
        EXPECT_FALSE(second.start(error));
        EXPECT_NE(std::string::npos, error.find("127.0.0.1:" + std::to_string(taken) + ": the port is already in use"))
            << error;
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(200, api("GET", "/vantis-client-config.json").status);
        EXPECT_EQ(200, web("GET", GAMECARD).status);
    }
}

TEST_F(BackendConnectionTest, SlowAndIdleClientsDoNotStarveTheOthers) {
    // Peers that never finish are never closed for it within the test: a
    // backend that served them before the others would not answer at all.
    BackendOptions options;
    options.headTimeoutMs = 3600 * 1000;
    startBackend(options);
    std::vector<Poco::Net::StreamSocket> peers;
    // Forty clients in the middle of a request head, as if they sent a byte a second.
    const std::string partial = "GET " + GAMECARD + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-";
    for (int i = 0; i < 40; ++i) {
        peers.push_back(connectTo(server->webPort()));
        peers.back().sendBytes(partial.data(), static_cast<int>(partial.size()));
    }
    // Thirty-two that connect to the TLS port and never start the handshake.
    for (int i = 0; i < 32; ++i) peers.push_back(connectTo(server->apiPort()));

    EXPECT_EQ(200, web("GET", GAMECARD).status);
    EXPECT_EQ(200, api("GET", "/vantis-client-config.json").status);
}

TEST_F(BackendConnectionTest, ConnectionsWithoutARequestInTimeAreClosed) {
    BackendOptions options;
    options.headTimeoutMs = 300;
    options.idleTimeoutMs = 300;
    startBackend(options);

    Poco::Net::StreamSocket trickling = connectTo(server->webPort());
    const std::string head = "GET " + GAMECARD + " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + std::string(200, 'x');
    const Clock::time_point started = Clock::now();
    EXPECT_TRUE(closesWithin(trickling, std::chrono::seconds(5), head)) << "a head sent a byte at a time";
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(250)) << "closed at its deadline, not at once";

    Poco::Net::StreamSocket silent = connectTo(server->apiPort());
    EXPECT_TRUE(closesWithin(silent, std::chrono::seconds(5))) << "a TLS connection that never speaks";

    Poco::Net::StreamSocket kept = connectTo(server->webPort());
    const std::string request = "GET " + GAMECARD + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    kept.sendBytes(request.data(), static_cast<int>(request.size()));
    EXPECT_TRUE(closesWithin(kept, std::chrono::seconds(5))) << "a kept-alive connection left idle after its reply";

    EXPECT_EQ(200, web("GET", GAMECARD).status);
}

TEST_F(BackendConnectionTest, RequestsItCannotServeAreRefusedWithAnAnswer) {
    startBackend();
    const std::string head = "POST /problem.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                             "Content-Type: application/x-www-form-urlencoded\r\n";
    const size_t over = BackendRequestHandler::BODY_LIMIT + 1;
    std::string chunk(over, 'a');
    std::copy_n("problem_message=", 16, chunk.begin());
    char size[32];
    snprintf(size, sizeof(size), "%zx\r\n", over);
    struct Case {
        const char* name;
        std::string request;
        std::string statusLine;
    };
    const Case cases[] = {
        {"length beyond 64 bits", head + "Content-Length: 99999999999999999999999\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"negative length", head + "Content-Length: -5\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"length that is not a number", head + "Content-Length: 12abc\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"length over the body limit", head + "Content-Length: " + std::to_string(over) + "\r\n\r\n",
         "HTTP/1.1 413 Request Entity Too Large"},
        {"chunked form over the body limit", head + "Transfer-Encoding: chunked\r\n\r\n" + size + chunk,
         "HTTP/1.1 413 Request Entity Too Large"},
        {"malformed request line", "GET\r\n\r\n", "HTTP/1.1 400 Bad Request"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string answer = raw(server->webPort(), test.request);
        EXPECT_EQ(test.statusLine, answer.substr(0, answer.find("\r\n")));
    }
    EXPECT_EQ(200, web("GET", GAMECARD).status);
}

TEST_F(BackendConnectionTest, StatusLinesCarryTheirReasonAndUnservedMethodsAre405) {
    startBackend();
    struct Case {
        const char* name;
        bool api;
        const char* method;
        const char* path;
        int status;
        const char* reason;
        const char* allow;
    };
    const Case cases[] = {
        {"configuration", true, "GET", "/vantis-client-config.json", 200, "OK", ""},
        {"unknown path", false, "GET", "/nothing", 404, "Not Found", ""},
        {"no token", true, "GET", "/licences?gameId=1", 401, "Unauthorized", ""},
        {"unknown method", true, "FOO", "/vantis-client-config.json", 405, "Method Not Allowed", "GET, HEAD"},
        {"writing the configuration", true, "DELETE", "/vantis-client-config.json", 405, "Method Not Allowed",
         "GET, HEAD"},
        {"token by PUT", true, "PUT", "/token", 405, "Method Not Allowed", "GET, POST"},
        {"game card by POST", false, "POST", GAMECARD.c_str(), 405, "Method Not Allowed", "GET, HEAD"},
        {"reading the report collector", false, "GET", "/problem.php", 405, "Method Not Allowed", "POST"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        HttpResult reply = test.api ? api(test.method, test.path) : web(test.method, test.path);
        EXPECT_EQ(test.status, reply.status);
        EXPECT_EQ(test.reason, reply.reason);
        EXPECT_EQ(test.allow, reply.header("Allow"));
    }
}

TEST_F(BackendConnectionTest, AFullPoolIsFreedByTheDeadlinesOfItsIdlePeers) {
    BackendOptions options;
    options.maxConnections = 2;
    options.headTimeoutMs = 300;
    startBackend(options);
    std::vector<Poco::Net::StreamSocket> idle;
    for (int i = 0; i < 4; ++i) idle.push_back(connectTo(server->webPort()));
    EXPECT_EQ(200, web("GET", GAMECARD).status) << "served once the idle peers' time is up";
}
