#include <atomic>
#include <chrono>
#include <thread>

#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <gtest/gtest.h>

#include "support/DeliveryLoop.h"
#include "LoopbackServer.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "net/HttpManager.h"
#include "net/SyncHTTPRequest.h"
#include "net/SyncRequestResponseListener.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

using VantisClient::AbortSignal;
using VantisClient::HttpManager;
using VantisClient::SyncHTTPRequest;
using VantisClient::Http::HttpRequest;
using VantisClient::Http::HttpResponse;
using Poco::Net::HTTPServerRequest;
using Poco::Net::HTTPServerResponse;

namespace {

class SyncHTTPRequestTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        HttpManager::Instance();
    }

    static HttpRequest at(uint16_t port, int timeout = 5) {
        HttpRequest request;
        request.host = "127.0.0.1";
        request.port = port;
        request.path = "x";
        request.timeout = timeout;
        return request;
    }

    static size_t timeoutWarnings() {
        const std::string log = VantisClient::RecentMemoryBufferChannel::Instance().getContents();
        size_t found = 0;
        for (size_t at = log.find("SyncRequest: timeout"); at != std::string::npos;
             at = log.find("SyncRequest: timeout", at + 1)) {
            ++found;
        }
        return found;
    }

    VantisTest::DeliveryLoop loop;
};

}  // namespace

TEST_F(SyncHTTPRequestTest, AnyAnswerEndsTheWaitWithItsStatusAndBody) {
    VantisTest::LoopbackServer server([](HTTPServerRequest&, HTTPServerResponse& response) {
        response.setStatus(HTTPServerResponse::HTTP_NOT_FOUND);
        response.setContentLength(7);
        response.send() << "missing";
    });
    HttpRequest request = at(server.port());
    HttpResponse response;
    EXPECT_EQ(SyncHTTPRequest::ANSWERED, SyncHTTPRequest::makeRequest(request, response, 100, false));
    EXPECT_EQ(404, response.statusCode);
    EXPECT_EQ("missing", response.body);
    EXPECT_EQ(request.requestId, response.requestId);
    EXPECT_EQ(1u, request.headers.count("X-Send-Time"));
    EXPECT_EQ(1, server.requests());
}

TEST_F(SyncHTTPRequestTest, SlowAnswersAreAskedForAgainAsThePolicySays) {
    // Each byte comes well within the socket's time-out, the whole answer never
    // within the request's: only the blocking wait's own limit ends it.
    std::atomic<bool> release{false};
    VantisTest::LoopbackServer trickling([&](HTTPServerRequest&, HTTPServerResponse& response) {
        response.setChunkedTransferEncoding(true);
        std::ostream& out = response.send();
        for (int i = 0; i < 40 && !release && out.good(); ++i) {
            out << 'x' << std::flush;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    });
    const struct {
        int policy;
        size_t attempts;
    } cases[] = {{2, 1}, {5, 5}};
    for (const auto& c : cases) {
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        HttpRequest request = at(trickling.port(), 1);
        HttpResponse response;
        EXPECT_EQ(SyncHTTPRequest::FAILED, SyncHTTPRequest::makeRequest(request, response, c.policy, false));
        EXPECT_EQ(-1, response.statusCode);
        EXPECT_EQ(c.attempts, timeoutWarnings()) << c.policy;
        EXPECT_NE(std::string::npos, VantisClient::RecentMemoryBufferChannel::Instance().getContents().find(
                                         "(remaining attempts 0) while fetching http://127.0.0.1:"));
    }
    release = true;
}

TEST_F(SyncHTTPRequestTest, AnAbortOrAShutdownEndsAWaitAtOnce) {
    VantisTest::StalledServer stalled;
    AbortSignal::Ptr abort = new AbortSignal();
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        abort->raise();
    });
    HttpRequest request = at(stalled.port(), 600);
    HttpResponse response;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(SyncHTTPRequest::FAILED, SyncHTTPRequest::makeRequest(request, response, 100, false, abort));
    aborter.join();

    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        HttpManager::Shutdown();
    });
    request = at(stalled.port(), 600);
    EXPECT_EQ(SyncHTTPRequest::FAILED, SyncHTTPRequest::makeRequest(request, response, 100, false));
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(nullptr, HttpManager::Instance());
}

TEST(SyncRequestResponseListenerTest, KeepsTheFirstAnswerWhenALateResendAnswersToo) {
    VantisClient::SyncRequestResponseListener listener;
    HttpRequest request;
    HttpResponse first;
    first.statusCode = 200;
    first.body = "first";
    HttpResponse second;
    second.statusCode = 503;
    listener.OnResponse(request, first);
    listener.OnResponse(request, second);
    listener.OnError(request);
    EXPECT_EQ(VantisClient::SyncRequestResponseListener::ANSWERED, listener.waitForResult(0));
    EXPECT_EQ("first", listener.response().body);
}
