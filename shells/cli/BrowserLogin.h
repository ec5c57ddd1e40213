// Signs a user in on the backend's login page the way a browser would, for a
// shell without a web view: it loads the page over HTTPS, fills the sign-in
// form (its hidden fields as the page gives them, then the user name and the
// password), posts it back to the login host with the cookies the page set,
// and hands back the redirect to the client's own address that carries the
// authorization code. TLS trusts the bundle's authorities only, with the
// host name checked. Neither the password nor the code is ever logged.
// Thread-safety: signIn may run on any thread, one call per object at a time.
#pragma once

#include <string>

#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Net/NameValueCollection.h>
#include <Poco/URI.h>

namespace VantisClient {

class LoginForm;

class BrowserLogin {
public:
    static const int TIMEOUT_SECONDS = 30;
    // Larger pages are no login page.
    static const size_t MAX_PAGE_BYTES = 1048576;
    static const char* const REDIRECT_PREFIX;
    static const char* const REFUSED;

    // Trusts the authorities in `certificateAuthorityFile` (PEM) only; by
    // default the bundle's, as every HTTPS request of the client does.
    explicit BrowserLogin(std::string certificateAuthorityFile = DefaultCertificateAuthorityFile());

    // True with the "vantisclient://login_success?code=..." address when the
    // backend accepted the user; false with `error` saying why otherwise:
    // REFUSED for a wrong user name or password, the reason for a page or
    // connection that failed.
    bool signIn(const std::string& loginAddress, const std::string& user, const std::string& password,
                std::string& redirectAddress, std::string& error);

    static std::string DefaultCertificateAuthorityFile();

private:
    struct Answer {
        Poco::Net::HTTPResponse response;
        std::string body;
    };

    bool loadForm(const Poco::URI& loginAddress, LoginForm& form, std::string& error);
    bool postForm(const LoginForm& form, const std::string& user, const std::string& password,
                  std::string& redirectAddress, std::string& error);
    // Sends `request` (with `body`) to the host of `address`; keeps the answer's cookies.
    bool exchange(const Poco::URI& address, Poco::Net::HTTPRequest& request, const std::string& body, Answer& answer,
                  std::string& error);
    static bool readBody(std::istream& stream, std::string& body, std::string& error);
    void keepCookies(const Poco::Net::HTTPResponse& response);
    static std::string formBody(const LoginForm& form, const std::string& user, const std::string& password);

    std::string m_certificateAuthorityFile;
    Poco::Net::Context::Ptr m_tlsContext;
    Poco::Net::NameValueCollection m_cookies;
};

}  // namespace VantisClient
