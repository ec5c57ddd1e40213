#include <mutex>
#include <string>

#include <Poco/Delegate.h>
#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "BackendFixture.h"
#include "CatalogueFixture.h"
#include "LoopbackServer.h"
#include "RecordingListener.h"
#include "core/ClientCore.h"
#include "core/MockClientListener.h"
#include "TestCertificates.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "net/HttpManager.h"
#include "net/HttpTasks.h"
#include "net/RequestFactory.h"
#include "support/DeliveryLoop.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

using VantisClient::ClientCore;
using VantisClient::EngineSettings;
using VantisClient::HttpManager;
using VantisClient::Http::HttpRequest;
using VantisClient::Http::IHttpClient;
using VantisClient::Http::RequestFactory;
using VantisTest::RecordingListener;
using VantisTest::WaitFor;
using Poco::Net::HTTPServerRequest;
using Poco::Net::HTTPServerResponse;

namespace {

// Runs the manager's delivery pass until `listener` has heard an answer.
bool deliver(RecordingListener& listener) {
    return WaitFor([&] {
        HttpManager::ProcessDataThread();
        return listener.count() > 0;
    });
}

Poco::SharedPtr<IHttpClient::IResponseListener> asListener(const Poco::SharedPtr<RecordingListener>& listener) {
    return Poco::SharedPtr<IHttpClient::IResponseListener>(listener);
}

struct EventCounter {
    int signedOut = 0;
    int authLost = 0;
    void onSignedOut(const void*, Poco::EventArgs&) { ++signedOut; }
    void onAuthLost(const void*, Poco::EventArgs&) { ++authLost; }
};

}  // namespace

TEST(HttpManagerTest, FilePartsAskForTheirRangeOverTheSchemeOfTheirLink) {
    VantisTest::Sandbox sandbox;
    VantisTest::LoopbackServer server([](HTTPServerRequest& request, HTTPServerResponse& response) {
        const std::string range = request.get("Range", "none");
        response.setContentLength64(static_cast<Poco::Int64>(range.size()));
        response.send() << range;
    });
    const struct {
        uint64_t offset;
        uint64_t skip;
        uint32_t size;
        const char* range;
    } cases[] = {{1048576, 0, 1048576, "bytes=1048576-2097151"},
                 {1048576, 1000, 1048576, "bytes=1049576-2098151"},
                 {0, 0, 0, "none"},
                 {0, 5, 0, "bytes=5-"}};
    // Parts travel as the signed-in user; a plain-HTTP link never gets the token.
    HttpManager::Instance()->setAsAuthenticated("refresh", "access", 3600, 1);
    for (const auto& c : cases) {
        Poco::SharedPtr<RecordingListener> listener = new RecordingListener();
        Poco::SharedPtr<IHttpClient::IResponseListener> target = asListener(listener);
        // A scheme in capitals still means plain HTTP: the server speaks nothing else.
        HttpManager::Instance()->downloadFilePart("HTTP://" + server.authority() + "/part?sig=1", c.offset, c.skip,
                                                  c.size, 1 << 20, target);
        ASSERT_TRUE(deliver(*listener));
        EXPECT_EQ(c.range, listener->at(0).body);
        EXPECT_EQ(600, listener->at(0).request.timeout);
        EXPECT_EQ(1u << 20, listener->at(0).request.speedLimit);
        EXPECT_EQ(0u, listener->at(0).request.headers.count("Authorization"));
    }
}

TEST(HttpManagerTest, MalformedLinksFailTheirRequestWithOneLineAndNoException) {
    VantisTest::Sandbox sandbox;
    VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    std::string link;
    std::mutex linkMutex;
    const VantisTest::CertificateFiles files =
        VantisTest::TestCertificates::Make(VantisTest::TestCertificates::VALID, sandbox.root());
    // The products host hands out the link of the test case.
    VantisTest::LoopbackServer products(
        [&](HTTPServerRequest&, HTTPServerResponse& response) {
            std::lock_guard<std::mutex> lock(linkMutex);
            const std::string body = "{\"link\": \"" + link + "\"}";
            response.setContentLength64(static_cast<Poco::Int64>(body.size()));
            response.send() << body;
        },
        files.certificate, files.key);
    HttpManager::Instance()->getHostProvider()->setHost("products", products.authority());
    HttpManager::Instance()->setAsAuthenticated("refresh", "access", 3600, 1);
    VantisTest::DeliveryLoop loop;
    for (const char* malformed : {"https://cdn.test:99999/m?signature=s3cret", "https://cdn.test:0/m",
                                  "https://[::1/m", "no host at all"}) {
        SCOPED_TRACE(malformed);
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        {
            std::lock_guard<std::mutex> lock(linkMutex);
            link = malformed;
        }
        bool notFound = true;
        std::string manifest = "unset";
        EXPECT_NO_THROW(manifest = VantisClient::Http::Tasks::getManifestContents("42", notFound));
        EXPECT_EQ("", manifest);
        EXPECT_FALSE(notFound);

        Poco::SharedPtr<RecordingListener> part = new RecordingListener();
        Poco::SharedPtr<IHttpClient::IResponseListener> target = asListener(part);
        EXPECT_NO_THROW(HttpManager::Instance()->downloadFilePart(malformed, 0, 0, 1024, 0, target));
        ASSERT_TRUE(deliver(*part));
        EXPECT_TRUE(part->at(0).error);

        const std::string log = VantisClient::RecentMemoryBufferChannel::Instance().getContents();
        size_t lines = 0;
        for (size_t at = log.find("Malformed link"); at != std::string::npos; at = log.find("Malformed link", at + 1)) {
            ++lines;
        }
        EXPECT_EQ(2u, lines) << log;  // one for the manifest, one for the part
        EXPECT_EQ(std::string::npos, log.find("s3cret"));
    }
}

TEST(HttpManagerTest, ALossIsReportedOnlyForASignedInUser) {
    VantisTest::Sandbox sandbox;
    const struct {
        bool signInFirst;
        bool succeeds;
        int authLost;
    } cases[] = {{true, true, 1}, {true, false, 0}, {false, false, 0}};
    for (const auto& c : cases) {
        HttpManager* manager = HttpManager::Instance();
        EventCounter counter;
        manager->signedOutEvent += Poco::delegate(&counter, &EventCounter::onSignedOut);
        manager->authLostEvent += Poco::delegate(&counter, &EventCounter::onAuthLost);
        if (c.signInFirst && c.succeeds) manager->onAuthSuccess(12345678901234567ULL, "refresh");
        if (c.signInFirst && !c.succeeds) manager->onAuthFailure();
        manager->onAuthLost();
        EXPECT_EQ(c.authLost, counter.authLost);
        EXPECT_EQ(0, counter.signedOut);
        EXPECT_EQ(HttpManager::SIGN_IN_NONE, manager->getSignInState());
        HttpManager::Shutdown();
        HttpManager::Open();
    }
}

namespace {

class HttpManagerBackendTest : public VantisTest::BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        startBackend();
        HttpManager::Instance()->getHostProvider()->setHost("products", server->context().apiAuthority());
        HttpManager::Instance()->getHostProvider()->setHost("auth", server->context().apiAuthority());
    }

    void TearDown() override {
        if (ClientCore::isStarted()) ClientCore::Shutdown();
        BackendTest::TearDown();
    }

    // Outlives the engine, which the fixture shuts down.
    ::testing::NiceMock<VantisTest::MockClientListener> shell;
};

}  // namespace

TEST_F(HttpManagerBackendTest, FetchesARangeOfASignedLinkOverTheDevelopmentAuthoritysTls) {
    HttpManager::Instance()->signInWithPassword("player", "secret");
    ASSERT_TRUE(WaitFor([] {
        HttpManager::ProcessDataThread();
        return HttpManager::Instance()->getSignInState() == HttpManager::SIGNED_IN;
    }));
    HttpRequest manifest = RequestFactory::getManifestUrl("1207658924");
    Poco::SharedPtr<RecordingListener> linkListener = new RecordingListener();
    Poco::SharedPtr<IHttpClient::IResponseListener> target = asListener(linkListener);
    HttpManager::Instance()->sendRequest(manifest, target, true);
    ASSERT_TRUE(deliver(*linkListener));
    ASSERT_EQ(200, linkListener->at(0).status);
    const std::string link = VantisTest::ParseJson(linkListener->at(0).body)->getValue<std::string>("link");

    Poco::SharedPtr<RecordingListener> partListener = new RecordingListener();
    target = asListener(partListener);
    HttpManager::Instance()->downloadFilePart(link, 0, 5, 10, 0, target);
    ASSERT_TRUE(deliver(*partListener));
    const std::string whole = VantisTest::ReadFileBytes(catalogue() + "/games/1207658924/product.json");
    EXPECT_EQ(206, partListener->at(0).status);
    EXPECT_EQ(whole.substr(5, 10), partListener->at(0).body);
}

TEST_F(HttpManagerBackendTest, TheEngineDeliversAnswersAndAuthEventsOnItsLoopThread) {
    ClientCore::StartWithGameId(EngineSettings::OfThisUser(), &shell, "1207658924", "");
    Poco::SharedPtr<RecordingListener> listener = new RecordingListener();
    Poco::SharedPtr<IHttpClient::IResponseListener> target = asListener(listener);
    HttpRequest status = RequestFactory::getAPIStatus();
    RequestFactory::targetSecureHost(status, server->context().apiAuthority());
    HttpManager::Instance()->sendRequest(status, target, false);
    ASSERT_TRUE(WaitFor([&] { return listener->count() > 0; }));
    EXPECT_EQ(200, listener->at(0).status);
    EXPECT_EQ("ClientCore Loop", listener->at(0).threadName);

    bool lost = false;
    EXPECT_CALL(shell, onAuthLost()).WillOnce(::testing::Invoke([&] { lost = true; }));
    HttpManager::Instance()->onAuthSuccess(12345678901234567ULL, "refresh");
    HttpManager::Instance()->onAuthLost();
    EXPECT_TRUE(WaitFor([&] {
        ClientCore::instance()->serviceCalls();
        return lost;
    }));
}
