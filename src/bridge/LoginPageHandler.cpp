#include "bridge/LoginPageHandler.h"

#include <algorithm>

#include <Poco/Exception.h>
#include <Poco/JSON/Parser.h>
#include <Poco/String.h>
#include <Poco/URI.h>

#include "bridge/ShellMessage.h"
#include "bridge/ShellMessageCenter.h"
#include "common/Constants.h"
#include "common/Logger.h"
#include "net/HostProvider.h"
#include "platform/Platform.h"

namespace VantisClient {
namespace {

bool isUrlSafeCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

bool isUrlSafe(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isUrlSafeCharacter);
}

// Only web pages go to the user's browser: another scheme could run a local
// file or a script with the desktop's default handler.
bool isWebAddress(const std::string& address) {
    try {
        const Poco::URI uri(address);
        const std::string& scheme = uri.getScheme();
        const bool webScheme = Poco::icompare(scheme, "http") == 0 || Poco::icompare(scheme, "https") == 0;
        return webScheme && !uri.getHost().empty();
    } catch (const Poco::Exception&) {
        return false;
    }
}

// The redirect's query holds the authorization code, which no log line may show.
std::string withoutQuery(const std::string& address) { return address.substr(0, address.find_first_of("?#")); }

}  // namespace

std::string LoginPageHandler::LoginAddress() {
    return "https://" + Http::HostProvider::Instance()->getAuthHost() + "/auth?client_id=" + CLIENT_ID +
           "&redirect_uri=" + API_LOGIN_SUCCESS_SCHEME + "://" + API_LOGIN_SUCCESS_HOST +
           "&response_type=code&layout=client";
}

std::string LoginPageHandler::AuthorizationCodeFromRedirect(const std::string& address) {
    try {
        const Poco::URI uri(address);
        if (Poco::icompare(uri.getScheme(), API_LOGIN_SUCCESS_SCHEME) != 0 ||
            Poco::icompare(uri.getHost(), API_LOGIN_SUCCESS_HOST) != 0) {
            return "";
        }
        for (const auto& parameter : uri.getQueryParameters()) {
            if (parameter.first != API_LOGIN_SUCCESS_AUTHORIZATION_PARAM) continue;
            return isUrlSafe(parameter.second) ? parameter.second : "";
        }
    } catch (const Poco::Exception&) {
        // An address that does not parse carries no code.
    }
    return "";
}

LoginPageHandler::LoginPageHandler(SignInStarter startSignIn) : m_startSignIn(std::move(startSignIn)) {}

void LoginPageHandler::onDocumentReady() {
    Logger::LogInfo("Login page document ready");
    m_documentReady = true;
}

bool LoginPageHandler::isDocumentReady() const { return m_documentReady; }

void LoginPageHandler::onMessageFromBrowser(const std::string& text) {
    try {
        const Poco::JSON::Object::Ptr message = Poco::JSON::Parser().parse(text).extract<Poco::JSON::Object::Ptr>();
        const std::string command = message->getValue<std::string>("Command");
        if (command == "ContinueOffline") {
            Poco::EventArgs arguments;
            continueOfflineEvent.notify(this, arguments);
        } else if (command == "LoadExternalUrl") {
            loadExternalUrl(message->getObject("Arguments"));
        } else {
            Logger::LogError("Received unknown command: %s", command.c_str());
        }
    } catch (const Poco::Exception& exception) {
        Logger::LogError("Exception during parsing message from browser: %s", exception.message().c_str());
    }
}

bool LoginPageHandler::onLoginRedirect(const std::string& address) {
    Logger::LogChannelInfo("Browser", "Received protocol response");
    const std::string shownAddress = withoutQuery(address);
    const std::string code = AuthorizationCodeFromRedirect(address);
    if (code.empty()) {
        Logger::LogWarning("Login redirect to %s carries no usable authorization code", shownAddress.c_str());
        return false;
    }
    SignInState expected = NotSignedIn;
    if (!m_signInState.compare_exchange_strong(expected, SigningIn)) {
        Logger::LogInfo("Ignored login redirect to %s: %s", shownAddress.c_str(),
                        expected == SigningIn ? "a sign-in from the login page is running" : "already signed in");
        return false;
    }
    Logger::LogInfo("Signing in with the authorization code from %s", shownAddress.c_str());
    if (m_startSignIn(code)) return true;
    m_signInState = NotSignedIn;
    return false;
}

void LoginPageHandler::onSignInFinished(bool succeeded) { m_signInState = succeeded ? SignedIn : NotSignedIn; }

void LoginPageHandler::sendToBrowser(const std::string& text) { ShellMessageCenter::Post(ShellMessage::WebViewUpdate(text)); }

void LoginPageHandler::loadExternalUrl(const Poco::JSON::Object::Ptr& arguments) {
    if (!arguments) throw Poco::DataFormatException("\"Arguments\" is missing or not an object");
    const std::string address = arguments->getValue<std::string>("URL");
    if (!isWebAddress(address)) {
        Logger::LogWarning("Refused to open address %s", address.c_str());
        return;
    }
    Logger::LogInfo("Loading external web page: %s", address.c_str());
    std::string error;
    if (!Platform::DesktopLauncher()->open(address, error)) {
        Logger::LogWarning("Failed to open url %s", address.c_str());
    }
}

}  // namespace VantisClient
