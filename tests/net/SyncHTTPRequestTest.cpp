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

TEST_F(SyncHTTPRequestTest, AnAnswerStillArrivingIsWaitedForAndNeverAskedForAgain) {
    // A 2 MB body trickles in over two and a half request time-outs (the
    // shape of a 25 s manifest under a 10 s time-out, scaled down): each piece
    // comes well within the time-out, the whole body never does.
    const int timeoutSeconds = 1;
    const size_t bodyBytes = 2 * 1024 * 1024;
    const int pieces = 25;
    const auto pause = std::chrono::milliseconds(timeoutSeconds * 2500 / pieces);
    std::atomic<bool> chunked{false};
    VantisTest::LoopbackServer trickling([&](HTTPServerRequest&, HTTPServerResponse& response) {
        if (chunked) {
            response.setChunkedTransferEncoding(true);
        } else {
            response.setContentLength64(static_cast<Poco::Int64>(bodyBytes));
        }
        std::ostream& out = response.send();
        const std::string piece(bodyBytes / pieces, 'x');
        for (int i = 0; i < pieces && out.good(); ++i) {
            std::this_thread::sleep_for(pause);
            out << (i + 1 < pieces ? piece : std::string(bodyBytes - piece.size() * (pieces - 1), 'x')) << std::flush;
        }
    });
    for (bool chunks : {false, true}) {
        SCOPED_TRACE(chunks ? "chunked" : "with a length");
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        chunked = chunks;
        const int before = trickling.requests();
        HttpRequest request = at(trickling.port(), timeoutSeconds);
        HttpResponse response;
        EXPECT_EQ(SyncHTTPRequest::ANSWERED,
                  SyncHTTPRequest::makeRequest(request, response, SyncHTTPRequest::HUNDRED_ATTEMPTS, false));
        EXPECT_EQ(200, response.statusCode);
        EXPECT_EQ(bodyBytes, response.body.size());
        EXPECT_EQ(0u, timeoutWarnings());
        EXPECT_EQ(before + 1, trickling.requests());
    }
}

// The server never answers and each try may wait ten minutes: only the abort or
// the shutdown, raised once the request has reached the server, ends the wait.
TEST_F(SyncHTTPRequestTest, AnAbortOrAShutdownEndsAWaitAtOnce) {
    VantisTest::StalledServer stalled;
    AbortSignal::Ptr abort = new AbortSignal();
    std::thread aborter([&] {
        VantisTest::WaitFor([&] { return stalled.connections() == 1; });
        abort->raise();
    });
    HttpRequest request = at(stalled.port(), 600);
    HttpResponse response;
    EXPECT_EQ(SyncHTTPRequest::FAILED, SyncHTTPRequest::makeRequest(request, response, 100, false, abort));
    aborter.join();

    std::thread stopper([&] {
        VantisTest::WaitFor([&] { return stalled.connections() == 2; });
        HttpManager::Shutdown();
    });
    request = at(stalled.port(), 600);
    EXPECT_EQ(SyncHTTPRequest::FAILED, SyncHTTPRequest::makeRequest(request, response, 100, false));
    stopper.join();
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
