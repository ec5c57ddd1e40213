#include <chrono>
#include <random>
#include <string>
#include <thread>

#include <Poco/Delegate.h>
#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "BackendFixture.h"
#include "CatalogueFixture.h"
#include "support/DeliveryLoop.h"
#include "LoopbackServer.h"
#include "TestCertificates.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "core/CheckAPIStatusTask.h"
#include "core/ClientCore.h"
#include "core/GetTokenAndUserDetailsTask.h"
#include "core/MockClientListener.h"
#include "core/SignInUserTask.h"
#include "net/HostProvider.h"
#include "net/HttpManager.h"
#include "net/HttpRequest.h"
#include "support/WaitFor.h"

using VantisClient::APIStatusResult;
using VantisClient::CheckAPIStatusTask;
using VantisClient::ClientCore;
using VantisClient::EngineSettings;
using VantisClient::GetTokenAndUserDetailsTask;
using VantisClient::HttpManager;
using VantisClient::SignInResult;
using VantisClient::SignInUserTask;
using VantisClient::Http::HostProvider;
using Poco::Net::HTTPServerRequest;
using Poco::Net::HTTPServerResponse;
using ::testing::_;

namespace {

template <class Result>
struct Captured {
    int reports = 0;
    Result result;
    void capture(const void*, Result& reported) {
        ++reports;
        result = reported;
    }
};

std::string recentLog() { return VantisClient::RecentMemoryBufferChannel::Instance().getContents(); }

class StatusTaskTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override { VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log")); }

    Captured<APIStatusResult> run(bool singleAttempt = true) {
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        Captured<APIStatusResult> captured;
        CheckAPIStatusTask::Ptr task = new CheckAPIStatusTask(singleAttempt);
        task->apiStatusEvent += Poco::delegate(&captured, &Captured<APIStatusResult>::capture);
        task->doWork();
        return captured;
    }

    VantisTest::DeliveryLoop loop;
};

}  // namespace

TEST_F(StatusTaskTest, ReadsTheConfigurationFileAndReportsExactlyOnce) {
    std::string body;
    int status = 200;
    const VantisTest::CertificateFiles files =
        VantisTest::TestCertificates::Make(VantisTest::TestCertificates::VALID, sandbox.root());
    VantisTest::LoopbackServer server(
        [&](HTTPServerRequest&, HTTPServerResponse& response) {
            response.setStatus(static_cast<HTTPServerResponse::HTTPStatus>(status));
            response.setContentLength64(static_cast<Poco::Int64>(body.size()));
            response.send() << body;
        },
        files.certificate, files.key);
    VantisClient::Http::HostProvider::Instance()->setConfigHost(server.authority());
    const std::string defaultCards = HostProvider::Instance()->getGamecardHost();
    const struct {
        const char* body;
        int status;
        int32_t expectedStatus;
        int64_t interval;
        const char* logged;
        std::string gamecards;
    } cases[] = {
        {R"({"status":"online"})", 200, APIStatusResult::STATUS_ONLINE, 3600,
         "APIStatus: Could not read [complainInterval] from config file", ""},
        {R"({"status":"Online","channel":"beta"})", 200, APIStatusResult::STATUS_OFFLINE, 3600,
         "APIStatus: Using channel: beta", ""},
        {R"({"status":"online","end_points":{"auth":"auth.test:7","products":""},"talkInterval":-5,"complainInterval":-1})",
         200, APIStatusResult::STATUS_ONLINE, 600, "APIStatus:  Empty key [products] or value [] found in config file.",
         defaultCards},
        {"not json", 200, APIStatusResult::STATUS_OFFLINE, 3600,
         "APIStatus: Could not deserialize vantis config json file.", ""},
        {"<html>Not Found</html>", 404, APIStatusResult::STATUS_OFFLINE, 3600,
         "APIStatus: Could not deserialize vantis config json file.", ""},
        {R"(["status", "online"])", 200, APIStatusResult::STATUS_OFFLINE, 3600,
         "APIStatus: Could not deserialize vantis config json file.", ""},
    };
    for (const auto& c : cases) {
        body = c.body;
        status = c.status;
        Captured<APIStatusResult> captured = run();
        EXPECT_EQ(1, captured.reports) << c.body;
        EXPECT_EQ(c.expectedStatus, captured.result.status) << c.body;
        EXPECT_EQ(c.interval, captured.result.interval) << c.body;
        EXPECT_EQ(c.gamecards, captured.result.gamecardEndpoint) << c.body;
        EXPECT_NE(std::string::npos, recentLog().find(c.logged)) << c.body;
        if (c.interval == 600) {
            EXPECT_NE(std::string::npos, recentLog().find("complainInterval of -1 s is out of range; using 0 s"));
        }
    }
    EXPECT_EQ("auth.test:7", HostProvider::Instance()->getAuthHost());
}

TEST_F(StatusTaskTest, AnUnreachableBackendIsOfflineAfterOneAttempt) {
    VantisClient::Http::HostProvider::Instance()->setConfigHost("127.0.0.1:1");
    Captured<APIStatusResult> captured = run();
    EXPECT_EQ(1, captured.reports);
    EXPECT_EQ(APIStatusResult::STATUS_OFFLINE, captured.result.status);
    EXPECT_EQ(3600, captured.result.interval);
    EXPECT_NE(std::string::npos, recentLog().find("APIStatus: Probably a timeout occurred on CheckAPIStatusTask."));
}

namespace {

class SignInTaskTest : public VantisTest::BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        startBackend();
        for (const char* key : {"auth", "users", "products"}) {
            HostProvider::Instance()->setHost(key, server->context().apiAuthority());
        }
    }

    void TearDown() override {
        if (ClientCore::isStarted()) ClientCore::Shutdown();
        BackendTest::TearDown();
    }

    std::string refreshTokenOf(const std::string& user) {
        VantisTest::HttpResult reply = api("GET", tokenQuery("password") + "&username=" + user + "&password=" +
                                                      (user == "player" ? "secret" : "guest"));
        return reply.json()->getValue<std::string>("refresh_token");
    }

    std::string authorizationCode() {
        const std::string form = std::string("client_id=") + server->context().options.clientId +
                                 "&redirect_uri=vantisclient%3A%2F%2Flogin_success&response_type=code"
                                 "&username=player&password=secret";
        VantisTest::HttpResult redirect = api("POST", "/auth", {}, form, "application/x-www-form-urlencoded");
        const std::string location = redirect.header("Location");
        return location.substr(location.find("code=") + 5);
    }

    static Captured<SignInResult> runSignIn(const std::string& token) {
        Captured<SignInResult> captured;
        SignInUserTask::Ptr task = new SignInUserTask(token, SignInUserTask::LOGIN_WITH_REFRESH_TOKEN);
        task->signInResultEvent += Poco::delegate(&captured, &Captured<SignInResult>::capture);
        task->doWork();
        return captured;
    }

    // Outlives the engine, which TearDown shuts down.
    ::testing::NiceMock<VantisTest::MockClientListener> shell;
};

}  // namespace

TEST_F(SignInTaskTest, RefreshTokensSignInAndOnlyARefusalMarksTheTokenWorthless) {
    VantisTest::DeliveryLoop loop;
    Captured<SignInResult> good = runSignIn(refreshTokenOf("player"));
    EXPECT_EQ(1, good.reports);
    EXPECT_EQ(SignInResult::STATUS_SUCCESS, good.result.status);
    EXPECT_EQ("player", good.result.userName);
    EXPECT_EQ("12345678901234567", good.result.userId);
    EXPECT_FALSE(good.result.refreshToken.empty());

    Captured<SignInResult> refused = runSignIn("no-such-token");
    EXPECT_EQ(SignInResult::STATUS_FAILURE, refused.result.status);
    EXPECT_TRUE(refused.result.credentialsRejected);

    server->stop();
    Captured<SignInResult> unreachable = runSignIn(good.result.refreshToken);
    EXPECT_EQ(1, unreachable.reports);
    EXPECT_EQ(SignInResult::STATUS_FAILURE, unreachable.result.status);
    EXPECT_FALSE(unreachable.result.credentialsRejected);
}

TEST_F(SignInTaskTest, AnAuthorizationCodeSignsInWithNameAndAvatar) {
    VantisTest::DeliveryLoop loop;
    // A short outage of the auth host does not cost the user the code.
    std::string error;
    ASSERT_TRUE(server->context().faults.addRules(
        R"({"listener": "api", "path": "^/token", "action": "status", "status": 503, "first": 1})", error))
        << error;
    Captured<SignInResult> captured;
    GetTokenAndUserDetailsTask::Ptr task = new GetTokenAndUserDetailsTask();
    task->setAuthorizationCode(authorizationCode());
    task->signInResultEvent += Poco::delegate(&captured, &Captured<SignInResult>::capture);
    task->doWork();
    EXPECT_EQ(1, captured.reports);
    EXPECT_EQ(SignInResult::STATUS_SUCCESS, captured.result.status);
    EXPECT_EQ("player", captured.result.userName);
    EXPECT_FALSE(captured.result.avatar.empty());
    EXPECT_EQ("bearer", captured.result.tokenType);
    EXPECT_EQ(HttpManager::SIGNED_IN, HttpManager::Instance()->getSignInState());

    Captured<SignInResult> reused;
    GetTokenAndUserDetailsTask::Ptr again = new GetTokenAndUserDetailsTask();
    again->setAuthorizationCode("used-or-unknown");
    again->signInResultEvent += Poco::delegate(&reused, &Captured<SignInResult>::capture);
    again->doWork();
    EXPECT_EQ(SignInResult::STATUS_FAILURE, reused.result.status);
    EXPECT_TRUE(reused.result.credentialsRejected);
}

TEST_F(SignInTaskTest, TheStartUpGroupChecksTheBackendLoadsTheLibraryAndSignsInWithTheStoredToken) {
    // Only the configuration file's end points lead the sign-in to this backend.
    HostProvider::Reset();
    VantisClient::Http::HostProvider::Instance()->setConfigHost(server->context().apiAuthority());
    ::testing::InSequence order;
    APIStatusResult status;
    SignInResult signedIn;
    bool initialized = false;
    EXPECT_CALL(shell, onAPIStatusChanged(_)).WillOnce(::testing::SaveArg<0>(&status));
    EXPECT_CALL(shell, onSignedIn(_)).WillOnce(::testing::SaveArg<0>(&signedIn));
    EXPECT_CALL(shell, onCoreInitialized(_)).WillOnce(::testing::Invoke([&] { initialized = true; }));
    ClientCore::StartWithGameId(EngineSettings::OfThisUser(), &shell, "1207658924", refreshTokenOf("player"));
    ASSERT_TRUE(VantisTest::WaitFor([&] {
        ClientCore::instance()->serviceCalls();
        return initialized;
    }));
    EXPECT_EQ(APIStatusResult::STATUS_ONLINE, status.status);
    EXPECT_EQ("player", signedIn.userName);
    EXPECT_TRUE(ClientCore::instance()->isAPIOnline());
}

TEST_F(SignInTaskTest, WithTheBackendDownStartUpStillInitializesAndKeepsTheToken) {
    VantisClient::Http::HostProvider::Instance()->setConfigHost("127.0.0.1:1");
    server->stop();
    bool initialized = false;
    EXPECT_CALL(shell, onSignInFailed(testing::_));
    EXPECT_CALL(shell, onCoreInitialized(_)).WillOnce(::testing::Invoke([&] { initialized = true; }));
    ClientCore::StartWithGameId(EngineSettings::OfThisUser(), &shell, "1207658924", "stored-token");
    ASSERT_TRUE(VantisTest::WaitFor([&] {
        ClientCore::instance()->serviceCalls();
        return initialized;
    }));
    EXPECT_FALSE(ClientCore::instance()->isAPIOnline());
    EXPECT_FALSE(HttpManager::Instance()->lastAuthFailureWasRejection());
}

TEST_F(SignInTaskTest, ShutdownDuringAStartUpSignInAgainstAHungBackendIsQuick) {
    VantisTest::StalledServer hung;
    const std::string authority = "127.0.0.1:" + std::to_string(hung.port());
    VantisClient::Http::HostProvider::Instance()->setConfigHost("127.0.0.1:1");
    HostProvider::Instance()->setHost("auth", authority);
    VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    ClientCore::StartWithGameId(EngineSettings::OfThisUser(), &shell, "1207658924", "stored-token");
    ASSERT_TRUE(VantisTest::WaitFor([] { return recentLog().find("Performing a refresh request") != std::string::npos; }));
    // What tells a shutdown that cuts the request from one that waits for it
    // is the request's own timeout: the hung backend never answers.
    const int requestTimeoutSeconds = VantisClient::Http::HttpRequest::DEFAULT_TIMEOUT_SECONDS;
    const auto started = std::chrono::steady_clock::now();
    ClientCore::Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(requestTimeoutSeconds));
}

TEST_F(SignInTaskTest, ShutdownAtAnyMomentOfAStartUpSignInLeavesNothingBehind) {
    // Only the configuration file's end points lead the sign-in to this backend.
    HostProvider::Reset();
    VantisClient::Http::HostProvider::Instance()->setConfigHost(server->context().apiAuthority());
    const std::string token = refreshTokenOf("player");
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> moment(0, 50);
    for (int round = 0; round < 25; ++round) {
        server->context().faults.clearRules();
        std::string error;
        ASSERT_TRUE(server->context().faults.addRules(
            R"({"listener": "api", "action": "delay", "delayMs": )" + std::to_string(moment(random)) + "}", error))
            << error;
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        ClientCore::StartWithGameId(EngineSettings::OfThisUser(), &shell, "1207658924", token);
        ASSERT_TRUE(VantisTest::WaitFor(
            [] { return recentLog().find("Performing a refresh request") != std::string::npos; }));
        // Choosing a moment within the sign-in's exchanges, not waiting for anything.
        std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
        ClientCore::Shutdown();
        EXPECT_FALSE(ClientCore::isStarted());
    }
}
