#include <chrono>
#include <memory>

#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <Poco/URI.h>
#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "RecordingListener.h"
#include "TestCertificates.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "net/HttpClient.h"
#include "net/MultiThreadedHttpClient.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

using VantisClient::MultiThreadedHttpClient;
using VantisClient::Http::HttpClient;
using VantisClient::Http::HttpRequest;
using VantisTest::LoopbackServer;
using VantisTest::RecordingListener;
using VantisTest::WaitFor;
using Poco::Net::HTTPServerRequest;
using Poco::Net::HTTPServerResponse;

namespace {

const uint64_t LIMIT = HttpClient::MAX_RESPONSE_SIZE;

void reply(HTTPServerResponse& response, int status, const std::string& body = "",
           const std::string& contentType = "text/plain") {
    response.setStatus(static_cast<HTTPServerResponse::HTTPStatus>(status));
    response.setContentType(contentType);
    response.setContentLength64(static_cast<Poco::Int64>(body.size()));
    response.send() << body;
}

// Sends `size` zero bytes, with their length announced or chunked.
void sendZeros(HTTPServerResponse& response, uint64_t size, bool chunked) {
    if (chunked) {
        response.setChunkedTransferEncoding(true);
    } else {
        response.setContentLength64(static_cast<Poco::Int64>(size));
    }
    std::ostream& out = response.send();
    const std::string block(1 << 20, '\0');
    for (uint64_t sent = 0; sent < size && out.good();) {
        const uint64_t now = std::min<uint64_t>(block.size(), size - sent);
        out.write(block.data(), static_cast<std::streamsize>(now));
        sent += now;
    }
}

class HttpClientTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        sandbox.writeFile("Config.json", R"({"loggingChannels": ["HttpTraffic"]})");
        VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
    }

    void makeClient(int workers = 4) {
        client.reset(new MultiThreadedHttpClient(workers, VANTIS_TEST_CA_CERTIFICATE));
    }

    HttpRequest get(const LoopbackServer& server, const std::string& path, bool secure = false) {
        HttpRequest request;
        request.protocol = secure ? HttpRequest::PROTOCOL_HTTPS : HttpRequest::PROTOCOL_HTTP;
        request.host = "127.0.0.1";
        request.port = server.port();
        request.path = path;
        return request;
    }

    Poco::SharedPtr<RecordingListener> send(HttpRequest& request) {
        Poco::SharedPtr<RecordingListener> listener = new RecordingListener();
        client->SendRequest(request, listener);
        return listener;
    }

    // Runs the delivery pass, as the engine's loop thread does, until
    // `listener` has heard `count` answers.
    bool deliver(RecordingListener& listener, size_t count = 1, int timeoutMs = 20000) {
        return WaitFor(
            [&] {
                client->ProcessData();
                return listener.count() >= count;
            },
            timeoutMs);
    }

    static std::string recentLog() { return VantisClient::RecentMemoryBufferChannel::Instance().getContents(); }

    std::unique_ptr<MultiThreadedHttpClient> client;
};

}  // namespace

TEST_F(HttpClientTest, ServerErrorsAndThrottlingAreResentWhileAttemptsLastOtherStatusesAreDeliveredAtOnce) {
    const struct {
        int status;
        int resendAttempts;
        int expectedRequests;
    } cases[] = {{503, 3, 4}, {429, 3, 4}, {500, 0, 1}, {404, 3, 1}, {200, 3, 1}};
    makeClient();
    for (const auto& c : cases) {
        LoopbackServer server([&](HTTPServerRequest&, HTTPServerResponse& response) { reply(response, c.status); });
        HttpRequest request = get(server, "status");
        request.resendAttempts = c.resendAttempts;
        Poco::SharedPtr<RecordingListener> listener = send(request);
        ASSERT_TRUE(deliver(*listener));
        client->ProcessData();
        EXPECT_EQ(1u, listener->count()) << c.status;
        EXPECT_EQ(c.status, listener->at(0).status);
        EXPECT_EQ(c.expectedRequests, server.requests()) << c.status;
        EXPECT_EQ(request.requestId, listener->at(0).response.requestId);
    }
}

TEST_F(HttpClientTest, ResponsesUpToOneHundredMebibytesPassLargerOnesFailWhateverTheirFraming) {
    LoopbackServer server([](HTTPServerRequest& request, HTTPServerResponse& response) {
        if (request.getURI() == "/exact") sendZeros(response, LIMIT, false);
        if (request.getURI() == "/announced-over") {
            response.setContentLength64(static_cast<Poco::Int64>(LIMIT + 1));
            response.send().flush();
        }
        if (request.getURI() == "/chunked-over") sendZeros(response, LIMIT + 1, true);
    });
    makeClient();
    const struct {
        const char* path;
        bool fails;
    } cases[] = {{"exact", false}, {"announced-over", true}, {"chunked-over", true}};
    for (const auto& c : cases) {
        HttpRequest request = get(server, c.path);
        request.timeout = 60;
        Poco::SharedPtr<RecordingListener> listener = send(request);
        ASSERT_TRUE(deliver(*listener, 1, 120000)) << c.path;
        EXPECT_EQ(c.fails, listener->at(0).error) << c.path;
        if (!c.fails) {
            EXPECT_EQ(LIMIT, listener->at(0).body.size());
        }
    }
    EXPECT_NE(std::string::npos, recentLog().find("received response of size 104857601 for request [HTTP REQUEST]["));
}

TEST_F(HttpClientTest, StampsScheduleAndSendTimesAndEncodesQueryValues) {
    std::string receivedPassword;
    std::string receivedScheduleTimes;
    LoopbackServer server([&](HTTPServerRequest& request, HTTPServerResponse& response) {
        for (const auto& parameter : Poco::URI(request.getURI()).getQueryParameters()) {
            if (parameter.first == "password") receivedPassword = parameter.second;
        }
        receivedScheduleTimes = request.has("X-Send-Time") ? request.get("X-Schedule-Time") : "";
        reply(response, 200);
    });
    makeClient();
    HttpRequest request = get(server, "token");
    request.params["password"] = "a&b+c#d=e f";
    Poco::SharedPtr<RecordingListener> first = send(request);
    Poco::SharedPtr<RecordingListener> second = send(request);
    ASSERT_TRUE(deliver(*first));
    ASSERT_TRUE(deliver(*second));
    EXPECT_EQ("a&b+c#d=e f", receivedPassword);
    EXPECT_EQ(2u, request.headers.count("X-Schedule-Time"));
    EXPECT_EQ(request.lastHeader("X-Schedule-Time"), receivedScheduleTimes);
}

TEST_F(HttpClientTest, TrafficLogShowsExchangesWithoutSecrets) {
    LoopbackServer server([](HTTPServerRequest&, HTTPServerResponse& response) {
        reply(response, 200, R"({"access_token":"AT-secret","refresh_token":"RT-secret","expires_in":3600})",
              "application/json");
    });
    makeClient();
    HttpRequest request = get(server, "token");
    request.params["password"] = "PW-secret";
    request.params["client_secret"] = "CS-secret";
    request.headers.emplace("Authorization", "Bearer BEARER-secret");
    Poco::SharedPtr<RecordingListener> listener = send(request);
    ASSERT_TRUE(deliver(*listener));
    EXPECT_EQ(200, listener->at(0).status);
    const std::string log = recentLog();
    EXPECT_NE(std::string::npos, log.find("[HTTP REQUEST][" + request.requestId + "]\nVersion: HTTP 1.1\n"
                                          "Method: HTTP_METHOD_GET\nUrl: http://" + server.authority() +
                                          "/token?client_secret=***&password=***\n"));
    EXPECT_NE(std::string::npos, log.find("Authorization:***\n"));
    EXPECT_NE(std::string::npos, log.find("Response code: 200 OK("));
    EXPECT_NE(std::string::npos, log.find("[HTTP RESPONSE BODY][" + request.requestId + "]\n{\"access_token\":\"***\""));
    for (const char* secret : {"AT-secret", "RT-secret", "PW-secret", "CS-secret", "BEARER-secret"}) {
        EXPECT_EQ(std::string::npos, log.find(secret)) << secret;
    }
}

TEST_F(HttpClientTest, AStalledServerIsGivenUpAfterTheRequestsTimeout) {
    VantisTest::StalledServer stalled;
    makeClient();
    HttpRequest request;
    request.host = "127.0.0.1";
    request.port = stalled.port();
    request.timeout = 1;
    Poco::SharedPtr<RecordingListener> listener = send(request);
    ASSERT_TRUE(deliver(*listener, 1, 15000));
    EXPECT_TRUE(listener->at(0).error);
    EXPECT_NE(std::string::npos, recentLog().find("Error occurred during PerformRequest (requestId: " +
                                                  request.requestId + ") for url http://127.0.0.1:"));
}

TEST_F(HttpClientTest, StoppingCutsTransfersInFlightShortAndCallsNoListener) {
    std::atomic<bool> release{false};
    // Held far longer than any test may run: only cutting them short ends the stop.
    LoopbackServer server([&](HTTPServerRequest&, HTTPServerResponse& response) {
        WaitFor([&] { return release.load(); }, 600000);
        reply(response, 200);
    });
    makeClient(2);
    std::vector<Poco::SharedPtr<RecordingListener>> listeners;
    for (int i = 0; i < 4; ++i) {
        HttpRequest request = get(server, "slow");
        request.timeout = 600;
        listeners.push_back(send(request));
    }
    ASSERT_TRUE(WaitFor([&] { return server.requests() == 2; }));
    client->Finish();
    client->ProcessData();
    client.reset();
    for (const auto& listener : listeners) EXPECT_EQ(0u, listener->count());
    release = true;
}

TEST_F(HttpClientTest, KeepAliveSessionsAreReusedUnlessSwitchedOff) {
    for (bool reuse : {true, false}) {
        LoopbackServer server([](HTTPServerRequest&, HTTPServerResponse& response) { reply(response, 200, "ok"); });
        makeClient(1);
        client->setConnectionReuse(reuse);
        for (int i = 0; i < 3; ++i) {
            HttpRequest request = get(server, "again");
            Poco::SharedPtr<RecordingListener> listener = send(request);
            ASSERT_TRUE(deliver(*listener));
            EXPECT_EQ("ok", listener->at(0).body);
        }
        EXPECT_EQ(reuse ? 1u : 3u, server.connections()) << reuse;
    }
}

TEST_F(HttpClientTest, AFilePartsSpeedLimitHoldsTheTransferToAboutThatRate) {
    const uint64_t size = 192 * 1024;
    LoopbackServer server([&](HTTPServerRequest&, HTTPServerResponse& response) { sendZeros(response, size, false); });
    makeClient();
    HttpRequest limited = get(server, "part");
    limited.speedLimit = 64 * 1024;
    limited.timeout = 30;
    HttpRequest unlimited = get(server, "status");
    const auto started = std::chrono::steady_clock::now();
    Poco::SharedPtr<RecordingListener> limitedListener = send(limited);
    Poco::SharedPtr<RecordingListener> unlimitedListener = send(unlimited);
    ASSERT_TRUE(deliver(*unlimitedListener));
    ASSERT_TRUE(deliver(*limitedListener));
    EXPECT_EQ(size, limitedListener->at(0).body.size());
    // Three seconds' worth at the limit; well over two even on a busy machine.
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

TEST_F(HttpClientTest, OnlyServersWithAValidCertificateOfTheTrustedAuthorityForTheirAddressAreAccepted) {
    const struct {
        VantisTest::TestCertificates::Kind kind;
        bool accepted;
    } cases[] = {{VantisTest::TestCertificates::VALID, true},
                 {VantisTest::TestCertificates::EXPIRED, false},
                 {VantisTest::TestCertificates::OTHER_HOST, false},
                 {VantisTest::TestCertificates::UNKNOWN_AUTHORITY, false}};
    makeClient();
    for (const auto& c : cases) {
        const VantisTest::CertificateFiles files = VantisTest::TestCertificates::Make(c.kind, sandbox.root());
        LoopbackServer server([](HTTPServerRequest&, HTTPServerResponse& response) { reply(response, 200, "hello"); },
                              files.certificate, files.key);
        HttpRequest request = get(server, "tls", true);
        Poco::SharedPtr<RecordingListener> listener = send(request);
        ASSERT_TRUE(deliver(*listener)) << c.kind;
        EXPECT_EQ(!c.accepted, listener->at(0).error) << c.kind;
        if (c.accepted) {
            EXPECT_EQ("hello", listener->at(0).body);
        }
        if (!c.accepted) {
            EXPECT_NE(std::string::npos, recentLog().find("Error occurred during PerformRequest (requestId: " +
                                                          request.requestId + ") for url https://"))
                << c.kind;
        }
    }
}
