#include "net/AuthenticatedHttpClient.h"

#include <algorithm>

#include <Poco/Timestamp.h>

#include "common/Logger.h"
#include "common/ScopedLock.h"
#include "common/SecretRedactor.h"
#include "net/HostProvider.h"
#include "net/HttpSessionCache.h"
#include "net/HttpTrafficLog.h"
#include "net/RequestFactory.h"
#include "net/TokenReply.h"

namespace VantisClient {
namespace Http {
namespace {

const char* const SECURITY_CHANNEL = "Security";
int64_t nowSeconds() { return Poco::Timestamp().epochTime(); }

}  // namespace

// Receives the reply to one token request; only the client's newest token
// listener is heard, so a reply to a request made before a sign-out is ignored.
class AuthenticatedHttpClient::TokenListener : public IResponseListener {
public:
    explicit TokenListener(AuthenticatedHttpClient* client) : m_client(client) {}

    void OnResponse(const HttpRequest&, const HttpResponse& response) override {
        m_client->onTokenReply(this, response);
    }
    void OnError(const HttpRequest&) override {
        Logger::LogError("Got an error on token request");
        m_client->onTokenFailure(this, false);
    }

private:
    AuthenticatedHttpClient* m_client;
};

// Stands between a signed-in request and its caller's listener, to catch 401.
class AuthenticatedHttpClient::CommonListener : public IResponseListener {
public:
    CommonListener(AuthenticatedHttpClient* client, Poco::SharedPtr<IResponseListener> caller, bool after401)
        : m_client(client), m_caller(caller), m_after401(after401) {}

    void OnResponse(const HttpRequest& request, const HttpResponse& response) override {
        if (isForCaller(response)) {
            m_caller->OnResponse(request, response);
        } else {
            m_client->onUnauthorized(request, m_caller, true);
        }
    }
    void OnResponseHandover(const HttpRequest& request, HttpResponse& response) override {
        if (isForCaller(response)) {
            m_caller->OnResponseHandover(request, response);
        } else {
            m_client->onUnauthorized(request, m_caller, true);
        }
    }
    void OnError(const HttpRequest& request) override { m_caller->OnError(request); }
    void OnProgress() override { m_caller->OnProgress(); }

private:
    // A first 401 is the client's: it renews the token and sends the request again.
    bool isForCaller(const HttpResponse& response) const { return response.statusCode != 401 || m_after401; }

    AuthenticatedHttpClient* m_client;
    Poco::SharedPtr<IResponseListener> m_caller;
    bool m_after401;
};

const char* const AuthenticatedHttpClient::RESOURCE_TOKEN = "token";
const char* const AuthenticatedHttpClient::HEADER_AUTHORIZATION = "Authorization";

AuthenticatedHttpClient::Ptr AuthenticatedHttpClient::Create(const std::string& clientId,
                                                             const std::string& clientSecret,
                                                             Poco::SharedPtr<IHttpClient> transport,
                                                             ListenerPtr listener) {
    return Ptr(new AuthenticatedHttpClient(clientId, clientSecret, transport, listener));
}

AuthenticatedHttpClient::AuthenticatedHttpClient(const std::string& clientId, const std::string& clientSecret,
                                                 Poco::SharedPtr<IHttpClient> transport, ListenerPtr listener)
    : m_clientId(clientId), m_clientSecret(clientSecret), m_transport(transport),
      m_tokenListener(new TokenListener(this)) {
    if (listener) m_authListeners.push_back(listener);
}

AuthenticatedHttpClient::~AuthenticatedHttpClient() = default;

// Sign-in

HttpRequest AuthenticatedHttpClient::tokenRequest(const std::string& grantType) const {
    HttpRequest request;
    RequestFactory::targetSecureHost(request, HostProvider::Instance()->getAuthHost());
    request.path = RESOURCE_TOKEN;
    request.headers.emplace("Accept", "application/json");
    request.headers.emplace("Content-Type", "application/json");
    request.resendAttempts = RequestFactory::TOKEN_REQUEST_RESENDS;
    request.params["client_id"] = m_clientId;
    request.params["client_secret"] = m_clientSecret;
    request.params["grant_type"] = grantType;
    return request;
}

void AuthenticatedHttpClient::sendTokenRequest(HttpRequest& request) {
    Poco::SharedPtr<TokenListener> listener = new TokenListener(this);
    {
        ScopedLock lock(m_mutex);
        m_tokenListener = listener;
    }
    m_transport->SendRequest(request, listener);
}

void AuthenticatedHttpClient::SignInWithPassword(const std::string& user, const std::string& password) {
    Logger::LogInfo("Performing a sign in request: username=%s", user.c_str());
    SignOut();
    HttpRequest request = tokenRequest("password");
    request.params["username"] = user;
    request.params["password"] = password;
    sendTokenRequest(request);
}

void AuthenticatedHttpClient::SignInWithSteam(const std::string& ticket) {
    Logger::LogChannelInfo(SECURITY_CHANNEL, "Performing a sign in request: steamAppTicket=(%lu bytes)",
                           static_cast<unsigned long>(ticket.size()));
    SignOut();
    HttpRequest request = tokenRequest("steam_ticket");
    request.params["steam_ticket"] = ticket;
    sendTokenRequest(request);
}

void AuthenticatedHttpClient::SignInWithRefreshToken(const std::string& token) {
    Logger::LogChannelInfo(SECURITY_CHANNEL, "Performing a sign in request: refreshToken=%s", SecretRedactor::MASK);
    SignOut();
    {
        ScopedLock lock(m_mutex);
        m_refreshToken = token;
    }
    Refresh();
}

void AuthenticatedHttpClient::Refresh() {
    Logger::LogInfo("Performing a refresh request: refreshToken=%s", SecretRedactor::MASK);
    HttpRequest request = tokenRequest("refresh_token");
    Poco::SharedPtr<TokenListener> listener = new TokenListener(this);
    {
        // The token and the listener together: a sign-out from here on makes
        // the reply stale, one before it leaves nothing to refresh with.
        ScopedLock lock(m_mutex);
        if (m_refreshToken.empty()) return;
        request.params["refresh_token"] = m_refreshToken;
        m_tokenListener = listener;
    }
    m_transport->SendRequest(request, listener);
}

void AuthenticatedHttpClient::SetAsAuthenticated(const std::string& refreshToken, const std::string& accessToken,
                                                 uint64_t expiresIn, uint64_t userId) {
    ScopedLock lock(m_mutex);
    m_state = AUTHENTICATED;
    m_refreshToken = refreshToken;
    m_accessToken = accessToken;
    m_expiry = nowSeconds() + static_cast<int64_t>(expiresIn);
    m_authorizationHeader = "Bearer " + accessToken;
    m_userIdentity = userId;
}

void AuthenticatedHttpClient::SignOut() {
    std::deque<ScheduledRequest> held;
    {
        ScopedLock lock(m_mutex);
        // A sign-in still under way is forgotten too: its reply must not sign
        // the user in again after this.
        m_tokenListener = new TokenListener(this);
        const bool signedIn = m_state != NOT_AUTHENTICATED;
        clearAuthentication();
        if (!signedIn) return;
        Logger::LogInfo("Clearing authentication");
        // Never sent later with whatever token the next sign-in brings.
        held.swap(m_scheduled);
    }
    failAll(held);
    for (ListenerPtr listener : listeners()) listener->OnAuthLost();
}

void AuthenticatedHttpClient::failAll(std::deque<ScheduledRequest>& requests) {
    for (ScheduledRequest& scheduled : requests) scheduled.listener->OnError(scheduled.request);
}

void AuthenticatedHttpClient::ignoreStaleReply() {
    Logger::LogInfo("Ignoring a token reply to a request made before a sign-out or a newer sign-in");
}

void AuthenticatedHttpClient::clearAuthentication() {
    m_state = NOT_AUTHENTICATED;
    m_accessToken.clear();
    m_refreshToken.clear();
    m_authorizationHeader.clear();
}

// Token replies (the delivering thread)

void AuthenticatedHttpClient::onTokenReply(const TokenListener* source, const HttpResponse& response) {
    const TokenReply reply = TokenReply::Read(response.statusCode, response.body);
    if (!reply.usable) return onTokenFailure(source, reply.refused);
    const std::string& accessToken = reply.accessToken;
    const std::string& refreshToken = reply.refreshToken;
    const int64_t lifetime = reply.lifetimeSeconds;
    const uint64_t identity = reply.identity;
    int32_t previous;
    {
        ScopedLock lock(m_mutex);
        // Checked where the tokens are installed: a sign-out or a newer
        // sign-in meanwhile must not be undone by this late reply.
        if (m_tokenListener.get() != source) return ignoreStaleReply();
        m_accessToken = accessToken;
        m_refreshToken = refreshToken;
        m_expiry = nowSeconds() + lifetime;
        m_userIdentity = identity;
        m_authorizationHeader = "Bearer " + accessToken;
        previous = m_state;
        m_state = AUTHENTICATED;
    }
    Logger::LogChannelInfo(SECURITY_CHANNEL, "Finished authentication: access_token=%s, refresh_token=%s",
                           SecretRedactor::MASK, SecretRedactor::MASK);
    if (previous != NOT_AUTHENTICATED) return;
    for (ListenerPtr listener : listeners()) listener->OnAuthSuccess();
}

void AuthenticatedHttpClient::onTokenFailure(const TokenListener* source, bool rejected) {
    int32_t state;
    std::deque<ScheduledRequest> held;
    {
        ScopedLock lock(m_mutex);
        // A failure of a request made before a sign-out or a newer sign-in is no news.
        if (m_tokenListener.get() != source) return ignoreStaleReply();
        m_lastFailureRejected = rejected;
        state = m_state;
        held.swap(m_scheduled);
        // A refused refresh token is dead: later requests fail at once
        // instead of asking again with it.
        if (state != NOT_AUTHENTICATED && rejected) clearAuthentication();
    }
    if (state == NOT_AUTHENTICATED) {
        // Nobody waits for ever: what was held for this token fails now.
        failAll(held);
        Logger::LogWarning("Failed to authenticate");
        for (ListenerPtr listener : listeners()) listener->OnAuthFailure();
        return;
    }
    Logger::LogWarning("Failed to refresh authentication");
    // A refresh that could not reach the backend is tried again by the next
    // request; only a refusal ends the session. It ends before the held
    // requests fail, so that their callers see a lost session, not a network fault.
    if (rejected) {
        for (ListenerPtr listener : listeners()) listener->OnAuthLost();
    }
    failAll(held);
}

// Requests

void AuthenticatedHttpClient::SendRequest(HttpRequest& request, Poco::SharedPtr<IResponseListener> listener) {
    const bool carriesToken = mayCarryToken(request);
    int32_t state;
    std::string header;
    bool refresh = false;
    {
        // State and header are read together: a sign-out or a new sign-in
        // between them would send this request with another user's token.
        ScopedLock lock(m_mutex);
        state = m_state;
        header = m_authorizationHeader;
        if (state == TOKEN_EXPIRED) refresh = holdLocked(request, listener, false);
    }
    if (state == NOT_AUTHENTICATED) {
        Logger::LogError("no request should be sent before login action");
        listener->OnError(request);
    } else if (state == AUTHENTICATED) {
        sendWithAuthentication(request, listener, false, carriesToken ? header : std::string());
    } else if (refresh) {
        Refresh();
    }
}

void AuthenticatedHttpClient::sendWithAuthentication(HttpRequest& request,
                                                     Poco::SharedPtr<IResponseListener> listener, bool after401,
                                                     const std::string& header) {
    request.headers.erase(HEADER_AUTHORIZATION);
    if (!header.empty()) {
        request.headers.emplace(HEADER_AUTHORIZATION, header);
        Logger::LogChannelInfo(HttpTrafficLog::CHANNEL, "Sending request with authorization header: %s",
                               SecretRedactor::MASK);
    }
    m_transport->SendRequest(request, new CommonListener(this, listener, after401));
}

bool AuthenticatedHttpClient::mayCarryToken(const HttpRequest& request) const {
    if (request.protocol != HttpRequest::PROTOCOL_HTTPS) return false;
    HostProvider* hosts = HostProvider::Instance();
    for (const std::string& hostValue : {hosts->getAuthHost(), hosts->getUsersHost(), hosts->getProductsHost()}) {
        HttpRequest api;
        RequestFactory::targetSecureHost(api, hostValue);
        if (api.host == request.host && HttpSessionCache::PortOf(api) == HttpSessionCache::PortOf(request)) return true;
    }
    return false;
}

bool AuthenticatedHttpClient::holdLocked(const HttpRequest& request, Poco::SharedPtr<IResponseListener> listener,
                                         bool after401) {
    Logger::LogInfo("Scheduling a request for sending later");
    const bool refresh = m_state == TOKEN_EXPIRED && m_scheduled.empty();
    m_scheduled.push_back(ScheduledRequest{request, listener, after401});
    return refresh;
}

void AuthenticatedHttpClient::onUnauthorized(const HttpRequest& request, Poco::SharedPtr<IResponseListener> listener,
                                             bool after401) {
    bool signedOut;
    bool refresh = false;
    {
        ScopedLock lock(m_mutex);
        signedOut = m_state == NOT_AUTHENTICATED;
        if (m_state == AUTHENTICATED && request.lastHeader(HEADER_AUTHORIZATION) == m_authorizationHeader) {
            Logger::LogWarning("It was current authorization header that failed; invalidating access token");
            m_state = TOKEN_EXPIRED;
        }
        if (!signedOut) refresh = holdLocked(request, listener, after401);
    }
    // The user signed out meanwhile: nothing would ever send it again.
    if (signedOut) {
        listener->OnError(request);
    } else if (refresh) {
        Refresh();
    }
}

void AuthenticatedHttpClient::ProcessData() {
    std::deque<ScheduledRequest> ready;
    std::string header;
    bool refresh = false;
    {
        ScopedLock lock(m_mutex);
        if (m_state != AUTHENTICATED) return;
        const int64_t now = nowSeconds();
        if (m_expiry < now) {
            Logger::LogInfo("Assuming that current access token has expired: now=%d, expires=%d",
                            static_cast<int>(now), static_cast<int>(m_expiry));
            m_state = TOKEN_EXPIRED;
            refresh = !m_scheduled.empty();
        } else if (!m_scheduled.empty()) {
            Logger::LogInfo("Sending %d scheduled requests", static_cast<int>(m_scheduled.size()));
            ready.swap(m_scheduled);
            header = m_authorizationHeader;
        }
    }
    if (refresh) Refresh();
    for (ScheduledRequest& scheduled : ready) {
        const std::string carried = mayCarryToken(scheduled.request) ? header : std::string();
        sendWithAuthentication(scheduled.request, scheduled.listener, scheduled.after401, carried);
    }
}

// Accessors

std::string AuthenticatedHttpClient::GetAccessToken() {
    ScopedLock lock(m_mutex);
    return m_accessToken;
}

std::string AuthenticatedHttpClient::GetRefreshToken() {
    ScopedLock lock(m_mutex);
    return m_refreshToken;
}

uint64_t AuthenticatedHttpClient::GetUserIdentity() {
    ScopedLock lock(m_mutex);
    return m_userIdentity;
}

int32_t AuthenticatedHttpClient::getState() {
    ScopedLock lock(m_mutex);
    return m_state;
}

bool AuthenticatedHttpClient::lastFailureWasRejection() {
    ScopedLock lock(m_mutex);
    return m_lastFailureRejected;
}

void AuthenticatedHttpClient::registerAuthListener(ListenerPtr listener) {
    ScopedLock lock(m_mutex);
    m_authListeners.push_back(listener);
}

void AuthenticatedHttpClient::unregisterAuthListener(ListenerPtr listener) {
    ScopedLock lock(m_mutex);
    auto found = std::find_if(m_authListeners.begin(), m_authListeners.end(),
                              [&](const ListenerPtr& held) { return held.get() == listener.get(); });
    if (found != m_authListeners.end()) m_authListeners.erase(found);
}

std::vector<AuthenticatedHttpClient::ListenerPtr> AuthenticatedHttpClient::listeners() {
    ScopedLock lock(m_mutex);
    return m_authListeners;
}

}  // namespace Http
}  // namespace VantisClient
