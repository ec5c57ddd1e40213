#include <atomic>
#include <string>

#include <Poco/Delegate.h>
#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <Poco/URI.h>
#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "RecordingListener.h"
#include "TestCertificates.h"
#include "common/Constants.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "net/HttpManager.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

using VantisClient::HttpManager;
using VantisClient::Http::HttpRequest;
using VantisClient::Http::IHttpClient;
using VantisTest::LoopbackServer;
using VantisTest::RecordingListener;
using VantisTest::WaitFor;
using Poco::Net::HTTPServerRequest;
using Poco::Net::HTTPServerResponse;

namespace {

void reply(HTTPServerResponse& response, int status, const std::string& body) {
    response.setStatus(static_cast<HTTPServerResponse::HTTPStatus>(status));
    response.setContentType("application/json");
    response.setContentLength64(static_cast<Poco::Int64>(body.size()));
    response.send() << body;
}

std::string parameter(const HTTPServerRequest& request, const std::string& name) {
    for (const auto& pair : Poco::URI(request.getURI()).getQueryParameters()) {
        if (pair.first == name) return pair.second;
    }
    return "";
}

// An auth and API host over TLS whose answers each test scripts: the token
// endpoint answers with `tokenStatus` (counting its calls) and issues
// "access-<n>"; "/resource" answers `resourceStatus`, or 401 for a token
// other than the newest when `rejectOldTokens` is set.
class ScriptedBackend {
public:
    explicit ScriptedBackend(const std::string& directory)
        : m_files(VantisTest::TestCertificates::Make(VantisTest::TestCertificates::VALID, directory)),
          m_server([this](HTTPServerRequest& request, HTTPServerResponse& response) { handle(request, response); },
                   m_files.certificate, m_files.key) {}

    std::string authority() const { return m_server.authority(); }

    std::atomic<int> tokenStatus{200};
    std::atomic<int> resourceStatus{200};
    std::atomic<int> tokenCalls{0};
    std::atomic<int> expiresIn{3600};
    std::atomic<int> resourceCalls{0};
    std::atomic<bool> rejectOldTokens{false};
    std::atomic<bool> sawAuthorization{false};
    std::atomic<bool> passwordIntact{false};

private:
    void handle(HTTPServerRequest& request, HTTPServerResponse& response) {
        const std::string path = Poco::URI(request.getURI()).getPath();
        if (path == "/token") return token(request, response);
        ++resourceCalls;
        const std::string authorization = request.get("Authorization", "");
        sawAuthorization = !authorization.empty();
        const bool stale = rejectOldTokens && authorization != "Bearer access-" + std::to_string(tokenCalls.load());
        reply(response, stale ? 401 : resourceStatus.load(), "{\"ok\": true}");
    }

    void token(HTTPServerRequest& request, HTTPServerResponse& response) {
        const int call = ++tokenCalls;
        if (tokenStatus != 200) {
            reply(response, tokenStatus, tokenStatus == 400 ? R"({"error":"invalid_grant","error_description":"no"})"
                                                            : "unavailable");
            return;
        }
        const std::string grant = parameter(request, "grant_type");
        if (grant == "password") passwordIntact = parameter(request, "password") == "p&ss w+rd";
        reply(response, 200,
              "{\"access_token\":\"access-" + std::to_string(call) + "\",\"refresh_token\":\"refresh-" +
                  std::to_string(call) + "\",\"expires_in\":" + std::to_string(expiresIn.load()) +
                  ",\"user_id\":\"12345678901234567\",\"grant\":\"" + grant + "\"}");
    }

    VantisTest::CertificateFiles m_files;
    LoopbackServer m_server;
};

struct AuthEvents {
    std::atomic<int> signedOut{0};
    std::atomic<int> lost{0};
    void onSignedOut(const void*, Poco::EventArgs&) { ++signedOut; }
    void onLost(const void*, Poco::EventArgs&) { ++lost; }
};

class AuthenticatedHttpClientTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        // The scripted backend's certificate comes from the development CA.
        VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
        backend.reset(new ScriptedBackend(sandbox.root()));
        manager()->getHostProvider()->setHost("auth", backend->authority());
        manager()->getHostProvider()->setHost("products", backend->authority());
        manager()->signedOutEvent += Poco::delegate(&events, &AuthEvents::onSignedOut);
        manager()->authLostEvent += Poco::delegate(&events, &AuthEvents::onLost);
    }

    static HttpManager* manager() { return HttpManager::Instance(); }

    static void pump() { HttpManager::ProcessDataThread(); }

    void signIn() {
        manager()->signInWithPassword("player", "p&ss w+rd");
        ASSERT_TRUE(WaitFor([] {
            pump();
            return manager()->getSignInState() == HttpManager::SIGNED_IN;
        }));
    }

    Poco::SharedPtr<RecordingListener> get(const std::string& authority = "", bool secure = true) {
        HttpRequest request;
        request.protocol = secure ? HttpRequest::PROTOCOL_HTTPS : HttpRequest::PROTOCOL_HTTP;
        const std::string where = authority.empty() ? backend->authority() : authority;
        request.host = where.substr(0, where.find(':'));
        request.port = static_cast<uint16_t>(std::stoi(where.substr(where.find(':') + 1)));
        request.path = "resource";
        Poco::SharedPtr<RecordingListener> listener = new RecordingListener();
        Poco::SharedPtr<IHttpClient::IResponseListener> target(listener);
        manager()->sendRequest(request, target, true);
        return listener;
    }

    static bool heard(const std::vector<Poco::SharedPtr<RecordingListener>>& listeners) {
        return WaitFor([&] {
            pump();
            for (const auto& listener : listeners) {
                if (listener->count() == 0) return false;
            }
            return true;
        });
    }

    static size_t logCount(const std::string& text) {
        const std::string log = VantisClient::RecentMemoryBufferChannel::Instance().getContents();
        size_t found = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++found;
        return found;
    }

    std::unique_ptr<ScriptedBackend> backend;
    AuthEvents events;
};

}  // namespace

TEST_F(AuthenticatedHttpClientTest, RequestsBeforeSignInFailAtOnce) {
    Poco::SharedPtr<RecordingListener> listener = get();
    ASSERT_EQ(1u, listener->count());
    EXPECT_TRUE(listener->at(0).error);
    EXPECT_EQ(0, backend->resourceCalls);
}

TEST_F(AuthenticatedHttpClientTest, AnExpiredTokenIsRefreshedOnceForAllHeldRequests) {
    backend->expiresIn = 0;
    signIn();
    backend->expiresIn = 3600;
    ASSERT_TRUE(WaitFor([] {
        pump();
        return manager()->getSignInState() == HttpManager::SIGNED_IN && logCount("Assuming that current access token has expired") > 0;
    }));
    std::vector<Poco::SharedPtr<RecordingListener>> listeners = {get(), get(), get()};
    ASSERT_TRUE(heard(listeners));
    for (const auto& listener : listeners) EXPECT_EQ(200, listener->at(0).status);
    EXPECT_EQ(2, backend->tokenCalls);
    EXPECT_EQ("Bearer access-2", listeners[2]->at(0).request.lastHeader("Authorization"));
    EXPECT_EQ(0, events.lost);
}

TEST_F(AuthenticatedHttpClientTest, A401IsAnsweredByOneRefreshAndOneResendAndASecondReachesTheCaller) {
    signIn();
    backend->rejectOldTokens = true;
    backend->tokenCalls = 5;  // the token in use is no longer the newest
    Poco::SharedPtr<RecordingListener> recovered = get();
    ASSERT_TRUE(heard({recovered}));
    EXPECT_EQ(200, recovered->at(0).status);
    EXPECT_EQ(6, backend->tokenCalls);

    backend->rejectOldTokens = false;
    backend->resourceStatus = 401;
    const int callsBefore = backend->resourceCalls;
    Poco::SharedPtr<RecordingListener> refused = get();
    ASSERT_TRUE(heard({refused}));
    EXPECT_EQ(401, refused->at(0).status);
    EXPECT_EQ(callsBefore + 2, backend->resourceCalls);
    EXPECT_EQ(7, backend->tokenCalls);
}

TEST_F(AuthenticatedHttpClientTest, ARefusedRefreshFailsHeldRequestsAndEndsTheSessionAFailedOneKeepsIt) {
    const struct {
        int tokenStatus;
        bool lost;
    } cases[] = {{503, false}, {400, true}};
    for (const auto& c : cases) {
        backend->tokenStatus = 200;
        backend->expiresIn = 3600;
        signIn();
        backend->tokenStatus = c.tokenStatus;
        backend->resourceStatus = 401;
        events.lost = 0;
        Poco::SharedPtr<RecordingListener> held = get();
        ASSERT_TRUE(heard({held})) << c.tokenStatus;
        EXPECT_TRUE(held->at(0).error) << c.tokenStatus;
        EXPECT_EQ(c.lost ? 1 : 0, events.lost) << c.tokenStatus;
        EXPECT_EQ(c.lost, manager()->lastAuthFailureWasRejection()) << c.tokenStatus;
        // Nothing is left held: the next request asks for a token again.
        backend->tokenStatus = 200;
        backend->resourceStatus = 200;
        if (!c.lost) {
            Poco::SharedPtr<RecordingListener> next = get();
            ASSERT_TRUE(heard({next}));
            EXPECT_EQ(200, next->at(0).status);
        }
        backend->resourceStatus = 200;
    }
}

TEST_F(AuthenticatedHttpClientTest, TheTokenGoesOnlyToTheApiHostsOverTls) {
    signIn();
    ScriptedBackend elsewhere(sandbox.root());
    LoopbackServer plain([](HTTPServerRequest& request, HTTPServerResponse& response) {
        reply(response, 200, request.has("Authorization") ? "token" : "none");
    });
    Poco::SharedPtr<RecordingListener> api = get();
    Poco::SharedPtr<RecordingListener> other = get(elsewhere.authority());
    Poco::SharedPtr<RecordingListener> insecure = get(plain.authority(), false);
    ASSERT_TRUE(heard({api, other, insecure}));
    EXPECT_EQ("Bearer access-1", api->at(0).request.lastHeader("Authorization"));
    EXPECT_EQ(200, other->at(0).status);
    EXPECT_FALSE(elsewhere.sawAuthorization);
    EXPECT_EQ("none", insecure->at(0).body);
}

TEST_F(AuthenticatedHttpClientTest, SignOutIsReportedAsSuchAndACodeSignInCountsForLosses) {
    signIn();
    manager()->signOut();
    EXPECT_EQ(1, events.signedOut);
    EXPECT_EQ(0, events.lost);
    EXPECT_EQ("", manager()->getRefreshToken());

    manager()->setAsAuthenticated("refresh-code", "access-code", 3600, 7);
    backend->tokenStatus = 400;
    backend->resourceStatus = 401;
    Poco::SharedPtr<RecordingListener> held = get();
    ASSERT_TRUE(heard({held}));
    EXPECT_TRUE(held->at(0).error);
    EXPECT_EQ(1, events.lost);
}

TEST_F(AuthenticatedHttpClientTest, PasswordsReachTheTokenEndpointIntactAndNoSecretIsLogged) {
    sandbox.writeFile("Config.json", R"({"loggingChannels": ["HttpTraffic", "Security"]})");
    VantisClient::Logger::Reset();
    VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
    signIn();
    Poco::SharedPtr<RecordingListener> api = get();
    ASSERT_TRUE(heard({api}));
    const std::string log = VantisClient::RecentMemoryBufferChannel::Instance().getContents();
    for (const char* secret : {"p&ss", "ss w+rd", "access-1", "refresh-1", VantisClient::CLIENT_SECRET}) {
        EXPECT_EQ(std::string::npos, log.find(secret)) << secret;
    }
    EXPECT_NE(std::string::npos, log.find("password=***"));
    EXPECT_TRUE(backend->passwordIntact);
}
