#include <memory>

#include <gtest/gtest.h>

#include <Poco/Delegate.h>

#include "BridgeFixtures.h"
#include "bridge/LoginPageHandler.h"
#include "common/Constants.h"
#include "net/HostProvider.h"
#include "platform/Platform.h"

namespace VantisClient {
namespace {

// Opens nothing; remembers what it was asked to open.
class RecordingLauncher : public IDesktopLauncher {
public:
    ILaunchedProgram::Ptr launch(const std::string&, const std::vector<std::string>&, const std::string&,
                                 const std::vector<std::string>&, std::string& error) override {
        error = "not in tests";
        return nullptr;
    }
    bool open(const std::string& target, std::string& error) override {
        opened.push_back(target);
        if (!opens) error = "no browser";
        return opens;
    }

    bool opens = true;
    std::vector<std::string> opened;
};

// For the page commands, which start no sign-in.
bool noSignIn(const std::string&) { return false; }

struct ContinueOfflineCounter {
    void onContinueOffline(const void*, Poco::EventArgs&) { ++count; }
    int count = 0;
};

class LoginPageHandlerTest : public VantisTest::LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        Platform::SetDesktopLauncher(launcher);
    }

    std::shared_ptr<RecordingLauncher> launcher = std::make_shared<RecordingLauncher>();
};

TEST_F(LoginPageHandlerTest, PageCommands) {
    const std::string parseError = "Exception during parsing message from browser: ";
    const struct {
        const char* text;
        const char* opened;  // null: nothing opened
        bool continuesOffline;
        std::string logLine;
    } cases[] = {
        {R"({"Command":"ContinueOffline"})", nullptr, true, ""},
        {R"({"Command":"LoadExternalUrl","Arguments":{"URL":"http://127.0.0.1/help"}})", "http://127.0.0.1/help",
         false, "Loading external web page: http://127.0.0.1/help"},
        {R"({"Command":"LoadExternalUrl","Arguments":{"URL":"https://localhost/terms?x=1"}})",
         "https://localhost/terms?x=1", false, ""},
        {R"({"Command":"LoadExternalUrl","Arguments":{"URL":"HTTPS://localhost/terms"}})", "HTTPS://localhost/terms",
         false, ""},
        {R"({"Command":"LoadExternalUrl","Arguments":{"URL":"file:///etc/passwd"}})", nullptr, false,
         "Refused to open address file:///etc/passwd"},
        {R"j({"Command":"LoadExternalUrl","Arguments":{"URL":"javascript:alert(1)"}})j", nullptr, false,
         "Refused to open address javascript:alert(1)"},
        {R"({"Command":"LoadExternalUrl","Arguments":{"URL":"/usr/bin/xterm"}})", nullptr, false,
         "Refused to open address /usr/bin/xterm"},
        {R"({"Command":"LoadExternalUrl","Arguments":{"URL":"http:///no-host"}})", nullptr, false,
         "Refused to open address http:///no-host"},
        {R"({"Command":"LoadExternalUrl","Arguments":{"URL":"http://[broken"}})", nullptr, false,
         "Refused to open address http://[broken"},
        {R"({"Command":"LoadExternalUrl"})", nullptr, false, parseError + "\"Arguments\" is missing or not an object"},
        {R"({"Command":"LoadExternalUrl","Arguments":{}})", nullptr, false, parseError},
        {R"({"Command":"SignUp"})", nullptr, false, "Received unknown command: SignUp"},
        {R"({"Command":)", nullptr, false, parseError},
        {R"("ContinueOffline")", nullptr, false, parseError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        forgetLog();
        launcher->opened.clear();
        LoginPageHandler handler(noSignIn);
        ContinueOfflineCounter counter;
        handler.continueOfflineEvent += Poco::delegate(&counter, &ContinueOfflineCounter::onContinueOffline);

        handler.onMessageFromBrowser(c.text);

        EXPECT_EQ(c.continuesOffline ? 1 : 0, counter.count);
        EXPECT_EQ(c.opened != nullptr ? std::vector<std::string>{c.opened} : std::vector<std::string>{},
                  launcher->opened);
        if (!c.logLine.empty()) {
            EXPECT_TRUE(logged(c.logLine)) << recentLog();
        }
        handler.continueOfflineEvent -= Poco::delegate(&counter, &ContinueOfflineCounter::onContinueOffline);
    }
}

TEST_F(LoginPageHandlerTest, AddressTheDesktopCannotOpenIsLogged) {
    launcher->opens = false;
    LoginPageHandler handler(noSignIn);
    handler.onMessageFromBrowser(R"({"Command":"LoadExternalUrl","Arguments":{"URL":"https://localhost/help"}})");
    EXPECT_TRUE(logged("Failed to open url https://localhost/help"));
}

TEST_F(LoginPageHandlerTest, DocumentReadyIsRememberedAndLogged) {
    LoginPageHandler handler(noSignIn);
    EXPECT_FALSE(handler.isDocumentReady());
    handler.onDocumentReady();
    EXPECT_TRUE(handler.isDocumentReady());
    EXPECT_TRUE(logged("Login page document ready"));
}

TEST_F(LoginPageHandlerTest, LoginAddressCarriesClientAndRedirectAsTheyAre) {
    Http::HostProvider::Instance()->setHost("auth", "127.0.0.1:18443");
    EXPECT_EQ(std::string("https://127.0.0.1:18443/auth?client_id=") + CLIENT_ID +
                  "&redirect_uri=vantisclient://login_success&response_type=code&layout=client",
              LoginPageHandler::LoginAddress());
}

TEST_F(LoginPageHandlerTest, AuthorizationCodeIsTheExactWellFormedCodeParameter) {
    const struct {
        const char* address;
        const char* code;
    } cases[] = {
        {"vantisclient://login_success?code=abc", "abc"},
        {"vantisclient://login_success?code=abc&state=1", "abc"},
        {"vantisclient://login_success?state=1&code=A-b.c_d~9", "A-b.c_d~9"},
        {"vantisclient://login_success?code=a%2Db%5Fc", "a-b_c"},
        {"VantisClient://LOGIN_SUCCESS?code=abc", "abc"},
        {"vantisclient://login_success?state=1", ""},
        {"vantisclient://login_success", ""},
        {"vantisclient://login_success?code=", ""},
        {"vantisclient://login_success?code=abc%26state%3D1", ""},
        {"vantisclient://login_success?code=a%20b", ""},
        {"vantisclient://login_success?code=a+b", ""},
        {"vantisclient://login_success?code=a/b", ""},
        {"vantisclient://login_success?code=a%00b", ""},
        {"vantisclient://login_success?xcode=abc", ""},
        {"vantisclient://login_success?state=code=abc", ""},
        {"vantisclient://login_success_other?code=abc", ""},
        {"http://127.0.0.1/login_success?code=abc", ""},
        {"vantisclient://login_success?code=%zz", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(c.code, LoginPageHandler::AuthorizationCodeFromRedirect(c.address));
    }
}

TEST_F(LoginPageHandlerTest, RedirectStartsOneSignInUntilThatOneFails) {
    std::vector<std::string> started;
    bool starts = true;
    LoginPageHandler handler([&started, &starts](const std::string& code) {
        started.push_back(code);
        return starts;
    });
    const std::string redirect = "vantisclient://login_success?code=";

    EXPECT_FALSE(handler.onLoginRedirect(redirect));
    EXPECT_TRUE(handler.onLoginRedirect(redirect + "first"));
    EXPECT_FALSE(handler.onLoginRedirect(redirect + "second"));
    EXPECT_TRUE(logged("Ignored login redirect to vantisclient://login_success: a sign-in from the login page "
                       "is running"));

    handler.onSignInFinished(false);
    EXPECT_TRUE(handler.onLoginRedirect(redirect + "third"));
    handler.onSignInFinished(true);
    EXPECT_FALSE(handler.onLoginRedirect(redirect + "fourth"));
    EXPECT_TRUE(logged("Ignored login redirect to vantisclient://login_success: already signed in"));

    // A sign-in that could not be started leaves the next redirect welcome.
    LoginPageHandler refusing([&started](const std::string& code) {
        started.push_back(code);
        return false;
    });
    EXPECT_FALSE(refusing.onLoginRedirect(redirect + "fifth"));
    EXPECT_FALSE(refusing.onLoginRedirect(redirect + "sixth"));

    EXPECT_EQ((std::vector<std::string>{"first", "third", "fifth", "sixth"}), started);
    const std::string log = recentLog();
    for (const char* code : {"first", "second", "third", "fourth", "fifth", "sixth"}) {
        EXPECT_EQ(std::string::npos, log.find(code)) << "the code " << code << " reached the log:\n" << log;
    }
}

}  // namespace
}  // namespace VantisClient
