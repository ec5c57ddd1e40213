#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

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
#include "net/SyncHTTPRequest.h"
#include "support/DeliveryLoop.h"
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
    std::atomic<int> tokenDelayMs{0};

    // From now on the token endpoint answers with this status and body.
    void scriptTokenReply(int status, const std::string& body) {
        std::lock_guard<std::mutex> lock(m_scriptMutex);
        m_script = std::make_pair(status, body);
    }
    void clearTokenScript() {
        std::lock_guard<std::mutex> lock(m_scriptMutex);
        m_script.reset();
    }
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
        std::this_thread::sleep_for(std::chrono::milliseconds(tokenDelayMs.load()));
        {
            std::lock_guard<std::mutex> lock(m_scriptMutex);
            if (m_script) return reply(response, m_script->first, m_script->second);
        }
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

    std::mutex m_scriptMutex;
    std::optional<std::pair<int, std::string>> m_script;
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

TEST_F(AuthenticatedHttpClientTest, OnlyARefusalEndsASignInOrASessionAndItsToken) {
    const std::string unreachable = "127.0.0.1:1";
    const struct {
        const char* name;
        int status;
        const char* body;
        bool refused;
        std::string authHost;  // empty: the scripted backend
    } cases[] = {
        {"server error with an error code", 500, R"({"error":"server_error","error_description":"oops"})", false, ""},
        {"unavailable", 503, R"({"error":"injected","error_description":"fault injected for tests"})", false, ""},
        {"throttled", 429, R"({"error":"slow_down"})", false, ""},
        {"an error code with 200", 200, R"({"error":"invalid_grant"})", false, ""},
        {"a malformed request", 400, R"({"error":"invalid_request"})", false, ""},
        {"lifetime beyond ten years", 200,
         R"({"access_token":"a","refresh_token":"r","expires_in":315360001,"user_id":"7"})", false, ""},
        {"negative lifetime", 200, R"({"access_token":"a","refresh_token":"r","expires_in":-1,"user_id":"7"})", false,
         ""},
        {"unreachable", 503, "", false, unreachable},
        {"unknown refresh token", 400, R"({"error":"invalid_grant","error_description":"no"})", true, ""},
        {"unknown client", 401, R"({"error":"invalid_client"})", true, ""},
        {"refusal without a body", 401, "not json", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The stored token at start-up: kept unless refused.
        backend->scriptTokenReply(c.status, c.body);
        manager()->getHostProvider()->setHost("auth", c.authHost.empty() ? backend->authority() : c.authHost);
        backend->tokenCalls = 0;
        {
            VantisTest::DeliveryLoop loop;
            std::string refreshed;
            uint64_t userId = 0;
            bool rejected = !c.refused;
            EXPECT_EQ(VantisClient::SyncHTTPRequest::FAILED,
                      VantisClient::SyncHTTPRequest::makeSignInRequest("stored", refreshed, userId, rejected));
            EXPECT_EQ(c.refused, rejected);
        }
        // Transient faults are asked again three times.
        const bool transient = c.authHost.empty() && (c.status >= 500 || c.status == 429);
        if (c.authHost.empty()) {
            EXPECT_EQ(transient ? 4 : 1, backend->tokenCalls);
        }

        // A refresh in a session: the session and its token stay unless refused.
        backend->clearTokenScript();
        manager()->getHostProvider()->setHost("auth", backend->authority());
        signIn();
        events.lost = 0;
        backend->scriptTokenReply(c.status, c.body);
        if (!c.authHost.empty()) manager()->getHostProvider()->setHost("auth", c.authHost);
        backend->resourceStatus = 401;
        Poco::SharedPtr<RecordingListener> held = get();
        ASSERT_TRUE(heard({held}));
        EXPECT_TRUE(held->at(0).error);
        EXPECT_EQ(c.refused ? 1 : 0, events.lost);
        EXPECT_EQ(c.refused, manager()->getRefreshToken().empty());
        EXPECT_EQ(c.refused ? HttpManager::SIGN_IN_NONE : HttpManager::SIGNED_IN, manager()->getSignInState());
        backend->resourceStatus = 200;
    }
}

TEST_F(AuthenticatedHttpClientTest, ASignOutIsNotUndoneByALateTokenReplyAndFailsWhatWasHeld) {
    const struct {
        const char* name;
        bool signedInBefore;
    } cases[] = {{"first sign-in", false}, {"refresh in a session", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        backend->tokenDelayMs = 0;
        if (c.signedInBefore) signIn();
        const int callsBefore = backend->tokenCalls;
        backend->tokenDelayMs = 300;
        Poco::SharedPtr<RecordingListener> held;
        if (c.signedInBefore) {
            backend->resourceStatus = 401;
            held = get();
            ASSERT_TRUE(WaitFor([&] {
                pump();
                return logCount("Performing a refresh request") > 0 && backend->tokenCalls > callsBefore;
            }));
        } else {
            manager()->signInWithRefreshToken("stored");
            ASSERT_TRUE(WaitFor([&] { return backend->tokenCalls > callsBefore; }));
        }
        manager()->signOut();
        if (held) {
            ASSERT_EQ(1u, held->count());
            EXPECT_TRUE(held->at(0).error);
        }
        ASSERT_TRUE(WaitFor([&] {
            pump();
            return logCount("Ignoring a token reply") > 0;
        }));
        EXPECT_EQ(HttpManager::SIGN_IN_NONE, manager()->getSignInState());
        EXPECT_EQ("", manager()->getRefreshToken());
        Poco::SharedPtr<RecordingListener> after = get();
        ASSERT_EQ(1u, after->count());
        EXPECT_TRUE(after->at(0).error);
        backend->resourceStatus = 200;
        VantisClient::RecentMemoryBufferChannel::Instance().Clear();
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
