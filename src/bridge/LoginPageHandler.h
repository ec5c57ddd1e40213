// The client side of the login page: the page's two commands (continue
// without signing in, open an address in the user's browser), the login
// address, and the redirect that carries the authorization code back to the
// client. Neither the page nor the redirect is trusted: only web addresses are
// opened, and only a well-formed code starts a sign-in, once.
//
// Thread-safety: the shell calls the page operations and onLoginRedirect on
// its main thread; the controller calls onSignInFinished on its drain thread.
// The flags they share are atomics, so two redirects racing each other start
// one sign-in at most. The continue-offline event fires on the calling thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include <Poco/BasicEvent.h>
#include <Poco/EventArgs.h>
#include <Poco/JSON/Object.h>

namespace VantisClient {

class LoginPageHandler {
public:
    // Starts a sign-in with an authorization code; false when it could not be started.
    using SignInStarter = std::function<bool(const std::string& code)>;

    // The controller hands in the engine's code sign-in; tests their own starter.
    explicit LoginPageHandler(SignInStarter startSignIn);
    LoginPageHandler(const LoginPageHandler&) = delete;
    LoginPageHandler& operator=(const LoginPageHandler&) = delete;

    // "https://<auth host>/auth?client_id=...&redirect_uri=vantisclient://login_success
    // &response_type=code&layout=client", the parts as they are.
    static std::string LoginAddress();
    // The authorization code of a login redirect: the "code" query parameter,
    // decoded, when the address is the client's redirect and the code is made
    // only of URL-safe characters; empty otherwise.
    static std::string AuthorizationCodeFromRedirect(const std::string& address);

    void onDocumentReady();
    bool isDocumentReady() const;
    // One command text from the page; anything malformed ends in a log line.
    void onMessageFromBrowser(const std::string& text);
    // The login view was sent to the client's redirect address. True when a
    // sign-in with its code was started; a redirect while that sign-in runs, or
    // after it succeeded, is ignored.
    bool onLoginRedirect(const std::string& address);
    // The engine's answer to the sign-in: after a failure the next redirect is
    // taken again.
    void onSignInFinished(bool succeeded);

    // Hands the text to the shell, which calls the page's receiveMessage with it.
    void sendToBrowser(const std::string& text);

    Poco::BasicEvent<Poco::EventArgs> continueOfflineEvent;

private:
    enum SignInState { NotSignedIn, SigningIn, SignedIn };

    void loadExternalUrl(const Poco::JSON::Object::Ptr& arguments);

    SignInStarter m_startSignIn;
    std::atomic<bool> m_documentReady{false};
    std::atomic<SignInState> m_signInState{NotSignedIn};
};

}  // namespace VantisClient
