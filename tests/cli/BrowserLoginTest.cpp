#include <memory>
#include <sstream>
#include <mutex>
#include <string>

#include <Poco/Net/HTTPCookie.h>
#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/StreamCopier.h>
#include <gtest/gtest.h>

#include "BackendFixture.h"
#include "CatalogueFixture.h"
#include "LoopbackServer.h"
#include "TestCertificates.h"
#include "cli/BrowserLogin.h"
#include "common/Constants.h"
#include "common/Logger.h"

using VantisClient::BrowserLogin;
using VantisTest::LoopbackServer;
using VantisTest::TestCertificates;

namespace {

const char* const ODD_PASSWORD = "p&ss=w+rd %41#?";

// The fixture's two accounts and one whose password needs every bit of the form's encoding.
const char* const ACCOUNTS = R"({"users": [
  {"username": "player", "password": "secret", "id": "12345678901234567", "games": ["1207658924", "1207658925"]},
  {"username": "visitor", "password": "guest", "games": []},
  {"username": "odd user", "password": "p&ss=w+rd %41#?", "games": []}
]})";

std::string redirectAddress() {
    return std::string(VantisClient::API_LOGIN_SUCCESS_SCHEME) + "://" + VantisClient::API_LOGIN_SUCCESS_HOST;
}

// As the shell builds it: the parts as they are, without percent-encoding.
std::string loginAddress(int port) {
    return "https://127.0.0.1:" + std::to_string(port) + "/auth?client_id=" + VantisClient::CLIENT_ID +
           "&redirect_uri=" + redirectAddress() + "&response_type=code&layout=client";
}

uint16_t closedPort() {
    Poco::Net::ServerSocket probe(Poco::Net::SocketAddress("127.0.0.1", 0));
    return probe.address().port();
}

class BrowserLoginBackendTest : public VantisTest::BackendTest {
protected:
    void SetUp() override {
        VantisTest::BackendTest::SetUp();
        VantisTest::WriteFileBytes(catalogue() + "/accounts.json", ACCOUNTS);
        VantisClient::Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        startBackend();
    }

    BrowserLogin login{VANTIS_TEST_CA_CERTIFICATE};
};

}  // namespace

TEST_F(BrowserLoginBackendTest, TheRightPasswordGetsACodeTheBackendExchanges) {
    const struct {
        const char* user;
        const char* password;
    } accounts[] = {{"player", "secret"}, {"odd user", ODD_PASSWORD}};
    std::string codes;
    for (const auto& account : accounts) {
        std::string redirect;
        std::string error;
        ASSERT_TRUE(login.signIn(loginAddress(server->apiPort()), account.user, account.password, redirect, error))
            << account.user << ": " << error;
        const std::string prefix = redirectAddress() + "?code=";
        ASSERT_EQ(0u, redirect.find(prefix)) << redirect;
        const std::string code = redirect.substr(prefix.size());
        codes += code + " ";
        const VantisTest::HttpResult tokens =
            api("GET", tokenQuery("authorization_code") + "&code=" + code + "&redirect_uri=" + redirectAddress());
        EXPECT_EQ(200, tokens.status) << account.user << ": " << tokens.body;
    }

    VantisClient::Logger::Close();
    const std::string log = sandbox.readFile("Logs/VantisClient.log");
    EXPECT_NE(std::string::npos, log.find("The backend accepted the sign-in"));
    for (const std::string& secret : {std::string("secret"), std::string(ODD_PASSWORD)}) {
        EXPECT_EQ(std::string::npos, log.find(secret)) << secret;
    }
    std::istringstream eachCode(codes);
    for (std::string code; eachCode >> code;) EXPECT_EQ(std::string::npos, log.find(code)) << code;
}

TEST_F(BrowserLoginBackendTest, AWrongPasswordOrNoBackendIsNoSignIn) {
    std::string redirect;
    std::string error;
    EXPECT_FALSE(login.signIn(loginAddress(server->apiPort()), "player", "nope", redirect, error));
    EXPECT_EQ(BrowserLogin::REFUSED, error);
    EXPECT_EQ("", redirect);

    error.clear();
    EXPECT_FALSE(login.signIn(loginAddress(closedPort()), "player", "secret", redirect, error));
    EXPECT_NE(std::string::npos, error.find("could not talk to 127.0.0.1:")) << error;
    EXPECT_EQ("", redirect);
}

namespace {

// What the loopback login host saw of the sign-in.
struct Seen {
    std::mutex mutex;
    std::string cookie;
    std::string form;
    int posts = 0;
};

const char* const LOOPBACK_PAGE = R"(<html><body><form method="post" action="/login?step=2">
<input type="hidden" name="client_id" value="46899977096215655">
<input type="hidden" name="state" value="x&amp;y">
<input name="username"><input type="password" name="password"></form></body></html>)";

// A login host that sets a session cookie with its page and answers the form with `status` and `location`.
LoopbackServer::Handler loginHost(std::shared_ptr<Seen> seen, int status, std::string location) {
    return [seen, status, location](Poco::Net::HTTPServerRequest& request, Poco::Net::HTTPServerResponse& response) {
        if (request.getMethod() == "GET") {
            response.addCookie(Poco::Net::HTTPCookie("session", "s1"));
            response.setContentType("text/html");
            response.send() << LOOPBACK_PAGE;
            return;
        }
        {
            std::lock_guard<std::mutex> lock(seen->mutex);
            seen->cookie = request.get("Cookie", "");
            Poco::StreamCopier::copyToString(request.stream(), seen->form);
            ++seen->posts;
        }
        response.setStatusAndReason(static_cast<Poco::Net::HTTPResponse::HTTPStatus>(status));
        if (!location.empty()) response.set("Location", location);
        response.setContentLength(0);
        response.send();
    };
}

class BrowserLoginLoopbackTest : public VantisTest::SandboxTest {
protected:
    std::string loginAddressOf(const LoopbackServer& server) const {
        return "https://127.0.0.1:" + std::to_string(server.port()) + "/auth?client_id=1";
    }

    BrowserLogin login{VANTIS_TEST_CA_CERTIFICATE};
};

}  // namespace

TEST_F(BrowserLoginLoopbackTest, TheFormGoesBackWithItsFieldsAndTheCookiesOfThePage) {
    auto seen = std::make_shared<Seen>();
    LoopbackServer server(loginHost(seen, 302, "vantisclient://login_success?code=c1&state=x"),
                          VANTIS_TEST_BACKEND_CERTIFICATE, VANTIS_TEST_BACKEND_KEY);
    std::string redirect;
    std::string error;
    ASSERT_TRUE(login.signIn(loginAddressOf(server), "player", "p&w", redirect, error)) << error;
    EXPECT_EQ("vantisclient://login_success?code=c1&state=x", redirect);
    std::lock_guard<std::mutex> lock(seen->mutex);
    EXPECT_EQ("session=s1", seen->cookie);
    EXPECT_EQ("client_id=46899977096215655&state=x%26y&username=player&password=p%26w", seen->form);
}

TEST_F(BrowserLoginLoopbackTest, OnlyARedirectWithACodeToTheClientIsASignIn) {
    const struct {
        int status;
        const char* location;
        std::string expectedError;
    } answers[] = {
        {302, "vantisclient://login_success?error=access_denied",
         "the backend's redirect carries no authorization code (error: access_denied)"},
        {302, "vantisclient://login_success", "the backend's redirect carries no authorization code"},
        {303, "https://127.0.0.1/elsewhere?code=c1", "the backend sent the sign-in on to another address"},
        {200, "", BrowserLogin::REFUSED},
        {500, "", "the backend answered the sign-in with HTTP 500 Internal Server Error"},
    };
    for (const auto& answer : answers) {
        auto seen = std::make_shared<Seen>();
        LoopbackServer server(loginHost(seen, answer.status, answer.location), VANTIS_TEST_BACKEND_CERTIFICATE,
                              VANTIS_TEST_BACKEND_KEY);
        std::string redirect;
        std::string error;
        EXPECT_FALSE(login.signIn(loginAddressOf(server), "player", "secret", redirect, error)) << answer.location;
        EXPECT_EQ(answer.expectedError, error);
        EXPECT_EQ("", redirect);
    }
}

TEST_F(BrowserLoginLoopbackTest, OnlyATrustedCertificateForTheHostGetsThePassword) {
    const struct {
        TestCertificates::Kind kind;
        bool trusted;
    } certificates[] = {
        {TestCertificates::VALID, true},
        {TestCertificates::OTHER_HOST, false},
        {TestCertificates::UNKNOWN_AUTHORITY, false},
        {TestCertificates::EXPIRED, false},
    };
    for (const auto& certificate : certificates) {
        const VantisTest::CertificateFiles files = TestCertificates::Make(certificate.kind, sandbox.root());
        auto seen = std::make_shared<Seen>();
        LoopbackServer server(loginHost(seen, 302, "vantisclient://login_success?code=c1"), files.certificate,
                              files.key);
        std::string redirect;
        std::string error;
        EXPECT_EQ(certificate.trusted, login.signIn(loginAddressOf(server), "player", "secret", redirect, error))
            << certificate.kind << ": " << error;
        std::lock_guard<std::mutex> lock(seen->mutex);
        EXPECT_EQ(certificate.trusted ? 1 : 0, seen->posts) << certificate.kind;
    }
}
