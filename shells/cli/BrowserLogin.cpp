#include "cli/BrowserLogin.h"

#include <istream>
#include <ostream>
#include <vector>

#include <Poco/Exception.h>
#include <Poco/Net/HTTPCookie.h>
#include <Poco/Net/HTTPSClientSession.h>
#include <Poco/String.h>
#include <Poco/Timespan.h>

#include "cli/LoginForm.h"
#include "common/Logger.h"
#include "net/HttpClient.h"
#include "net/TlsClientContext.h"
#include "net/UrlPrinter.h"

namespace VantisClient {
namespace {

const char* const FORM_CONTENT_TYPE = "application/x-www-form-urlencoded";
const char* const USER_FIELD = "username";
const char* const PASSWORD_FIELD = "password";
const size_t READ_CHUNK_BYTES = 16384;

std::string originOf(const Poco::URI& address) { return address.getHost() + ":" + std::to_string(address.getPort()); }

std::string statusText(const Poco::Net::HTTPResponse& response) {
    return std::to_string(static_cast<int>(response.getStatus())) + " " + response.getReason();
}

std::string formField(const std::string& name, const std::string& value) {
    return Http::UrlPrinter::EncodeQueryValue(name) + "=" + Http::UrlPrinter::EncodeQueryValue(value);
}

// Why a redirect to the client's address is no sign-in; empty when it carries a code.
std::string missingCodeReason(const std::string& location) {
    std::string backendError;
    try {
        for (const auto& parameter : Poco::URI(location).getQueryParameters()) {
            if (parameter.first == "code" && !parameter.second.empty()) return std::string();
            if (parameter.first == "error") backendError = parameter.second;
        }
    } catch (const Poco::Exception&) {
        // An unreadable address carries no code either.
    }
    const std::string reason = "the backend's redirect carries no authorization code";
    return backendError.empty() ? reason : reason + " (error: " + backendError + ")";
}

}  // namespace

const char* const BrowserLogin::REDIRECT_PREFIX = "vantisclient://login_success";
const char* const BrowserLogin::REFUSED = "the backend refused the user name or password";

BrowserLogin::BrowserLogin(std::string certificateAuthorityFile)
    : m_certificateAuthorityFile(std::move(certificateAuthorityFile)) {}

std::string BrowserLogin::DefaultCertificateAuthorityFile() {
    return Http::HttpClient::DefaultCertificateAuthorityFile();
}

bool BrowserLogin::signIn(const std::string& loginAddress, const std::string& user, const std::string& password,
                          std::string& redirectAddress, std::string& error) {
    // Every sign-in starts with a fresh browser session.
    m_cookies.clear();
    Poco::URI address;
    try {
        address = Poco::URI(loginAddress);
        if (!m_tlsContext) {
            // The same trust as the engine's own HTTPS requests.
            m_tlsContext = Http::TlsClientContext::Create(m_certificateAuthorityFile);
        }
    } catch (const Poco::Exception& problem) {
        error = "cannot sign in: " + problem.displayText();
        return false;
    }
    if (address.getScheme() != "https") {
        error = "the login address is not an HTTPS address";
        return false;
    }
    Logger::LogInfo("Signing in on the login page of %s", originOf(address).c_str());
    LoginForm form;
    const bool signedIn = loadForm(address, form, error) && postForm(form, user, password, redirectAddress, error);
    if (signedIn) {
        Logger::LogInfo("The backend accepted the sign-in");
    } else {
        Logger::LogWarning("Sign-in on the login page failed: %s", error.c_str());
    }
    return signedIn;
}

bool BrowserLogin::loadForm(const Poco::URI& loginAddress, LoginForm& form, std::string& error) {
    Poco::Net::HTTPRequest request(Poco::Net::HTTPRequest::HTTP_GET, loginAddress.getPathAndQuery(),
                                   Poco::Net::HTTPMessage::HTTP_1_1);
    request.set("Accept", "text/html");
    Answer answer;
    if (!exchange(loginAddress, request, "", answer, error)) return false;
    if (answer.response.getStatus() != Poco::Net::HTTPResponse::HTTP_OK) {
        error = "the login page answered HTTP " + statusText(answer.response);
        return false;
    }
    return LoginForm::Read(answer.body, loginAddress, form, error);
}

bool BrowserLogin::postForm(const LoginForm& form, const std::string& user, const std::string& password,
                            std::string& redirectAddress, std::string& error) {
    const std::string body = formBody(form, user, password);
    Poco::Net::HTTPRequest request(Poco::Net::HTTPRequest::HTTP_POST, form.action().getPathAndQuery(),
                                   Poco::Net::HTTPMessage::HTTP_1_1);
    request.setContentType(FORM_CONTENT_TYPE);
    request.setContentLength64(static_cast<Poco::Int64>(body.size()));
    Answer answer;
    if (!exchange(form.action(), request, body, answer, error)) return false;
    const int status = static_cast<int>(answer.response.getStatus());
    const std::string location = answer.response.get("Location", "");
    if (status >= 300 && status < 400) {
        if (!Poco::startsWith(location, std::string(REDIRECT_PREFIX))) {
            error = "the backend sent the sign-in on to another address";
            return false;
        }
        error = missingCodeReason(location);
        if (!error.empty()) return false;
        redirectAddress = location;
        return true;
    }
    // The page again: it names the problem to a person; the status tells us.
    if (status == Poco::Net::HTTPResponse::HTTP_OK || status == Poco::Net::HTTPResponse::HTTP_UNAUTHORIZED) {
        error = REFUSED;
        return false;
    }
    error = "the backend answered the sign-in with HTTP " + statusText(answer.response);
    return false;
}

std::string BrowserLogin::formBody(const LoginForm& form, const std::string& user, const std::string& password) {
    std::string body;
    for (const LoginForm::Field& field : form.hiddenFields()) {
        // The page cannot fill in the user's own fields for them.
        if (field.first == USER_FIELD || field.first == PASSWORD_FIELD) continue;
        body += formField(field.first, field.second) + "&";
    }
    return body + formField(USER_FIELD, user) + "&" + formField(PASSWORD_FIELD, password);
}

bool BrowserLogin::exchange(const Poco::URI& address, Poco::Net::HTTPRequest& request, const std::string& body,
                            Answer& answer, std::string& error) {
    try {
        Poco::Net::HTTPSClientSession session(address.getHost(), address.getPort(), m_tlsContext);
        session.setTimeout(Poco::Timespan(TIMEOUT_SECONDS, 0));
        if (!m_cookies.empty()) request.setCookies(m_cookies);
        session.sendRequest(request) << body;
        std::istream& received = session.receiveResponse(answer.response);
        keepCookies(answer.response);
        return readBody(received, answer.body, error);
    } catch (const Poco::Exception& problem) {
        error = "could not talk to " + originOf(address) + ": " + problem.displayText();
        return false;
    }
}

bool BrowserLogin::readBody(std::istream& stream, std::string& body, std::string& error) {
    std::vector<char> chunk(READ_CHUNK_BYTES);
    while (stream.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || stream.gcount() > 0) {
        body.append(chunk.data(), static_cast<size_t>(stream.gcount()));
        if (body.size() > MAX_PAGE_BYTES) {
            error = "the backend's page is larger than " + std::to_string(MAX_PAGE_BYTES) + " bytes";
            return false;
        }
    }
    if (stream.bad()) {
        error = "the connection broke off while the backend's page was read";
        return false;
    }
    return true;
}

void BrowserLogin::keepCookies(const Poco::Net::HTTPResponse& response) {
    std::vector<Poco::Net::HTTPCookie> cookies;
    response.getCookies(cookies);
    for (const Poco::Net::HTTPCookie& cookie : cookies) {
        if (cookie.getMaxAge() == 0) {
            m_cookies.erase(cookie.getName());
        } else {
            m_cookies.set(cookie.getName(), cookie.getValue());
        }
    }
}

}  // namespace VantisClient
