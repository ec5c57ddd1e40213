// The HTTP client of the signed-in user: it stands in front of the plain
// client, obtains OAuth tokens from the auth host (password, refresh token)
// or takes tokens obtained elsewhere, puts the bearer token on requests to the
// configured API hosts, notices expiry and 401 answers, holds requests while a
// new token is fetched and sends them afterwards. Sign-in outcomes go to the
// registered IAuthInternalListeners.
//
// Thread-safety: every operation may be called from any thread; the state,
// tokens and held requests are guarded by one lock, and listeners are called
// outside it. Token replies, response callbacks and ProcessData() run on the
// thread that delivers the plain client's answers.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <Poco/SharedPtr.h>

#include "common/VantisMutex.h"
#include "net/IAuthInternalListener.h"
#include "net/IHttpClient.h"

namespace VantisClient {
namespace Http {

class AuthenticatedHttpClient : public IHttpClient {
public:
    using Ptr = Poco::SharedPtr<AuthenticatedHttpClient>;
    using ListenerPtr = Poco::SharedPtr<IAuthInternalListener>;
    enum State { NOT_AUTHENTICATED = 0, AUTHENTICATED = 1, TOKEN_EXPIRED = 2 };

    static const char* const RESOURCE_TOKEN;
    static const char* const HEADER_AUTHORIZATION;

    static Ptr Create(const std::string& clientId, const std::string& clientSecret,
                      Poco::SharedPtr<IHttpClient> transport, ListenerPtr listener);
    ~AuthenticatedHttpClient() override;

    // Sends at once with the token, holds the request while a token is being
    // fetched, or refuses it (OnError, synchronously) before any sign-in.
    void SendRequest(HttpRequest& request, Poco::SharedPtr<IResponseListener> listener) override;
    virtual void SignInWithPassword(const std::string& user, const std::string& password);
    // Recognised for completeness; this platform has no ticket source.
    virtual void SignInWithSteam(const std::string& ticket);
    virtual void SignInWithRefreshToken(const std::string& token);
    virtual void SignOut();
    virtual std::string GetAccessToken();
    virtual std::string GetRefreshToken();
    virtual uint64_t GetUserIdentity();
    // The periodic step: notices an expired token and sends held requests.
    virtual void ProcessData();

    void Refresh();
    void SetAsAuthenticated(const std::string& refreshToken, const std::string& accessToken, uint64_t expiresIn,
                            uint64_t userId);
    void registerAuthListener(ListenerPtr listener);
    void unregisterAuthListener(ListenerPtr listener);
    int32_t getState();
    // Whether the last failed sign-in or refresh was the backend refusing the
    // credentials rather than a failure to reach it (see TokenReply::IsRefusal).
    bool lastFailureWasRejection();

private:
    class TokenListener;
    class CommonListener;
    struct ScheduledRequest {
        HttpRequest request;
        Poco::SharedPtr<IResponseListener> listener;
        // Held after a 401: a second 401 goes to the caller instead of round again.
        bool after401 = false;
    };

    AuthenticatedHttpClient(const std::string& clientId, const std::string& clientSecret,
                            Poco::SharedPtr<IHttpClient> transport, ListenerPtr listener);

    HttpRequest tokenRequest(const std::string& grantType) const;
    void sendTokenRequest(HttpRequest& request);
    void clearAuthentication();
    static void failAll(std::deque<ScheduledRequest>& requests);
    static void ignoreStaleReply();
    // `header` empty: the request goes without a token.
    void sendWithAuthentication(HttpRequest& request, Poco::SharedPtr<IResponseListener> listener, bool after401,
                                const std::string& header);
    // Under the lock: queues the request until a token is there; true when a
    // refresh must be started (after the lock is released).
    bool holdLocked(const HttpRequest& request, Poco::SharedPtr<IResponseListener> listener, bool after401);
    bool mayCarryToken(const HttpRequest& request) const;
    // Both ignore what comes from any token listener but the newest.
    void onTokenReply(const TokenListener* source, const HttpResponse& response);
    void onTokenFailure(const TokenListener* source, bool rejected);
    void onUnauthorized(const HttpRequest& request, Poco::SharedPtr<IResponseListener> listener, bool after401);
    std::vector<ListenerPtr> listeners();

    const std::string m_clientId;
    const std::string m_clientSecret;
    Poco::SharedPtr<IHttpClient> m_transport;

    VantisMutex m_mutex;
    std::vector<ListenerPtr> m_authListeners;
    std::deque<ScheduledRequest> m_scheduled;
    int32_t m_state = NOT_AUTHENTICATED;
    std::string m_accessToken;
    std::string m_refreshToken;
    std::string m_authorizationHeader;
    uint64_t m_userIdentity = 0;
    // Seconds since the epoch when the access token stops being valid.
    int64_t m_expiry = 0;
    bool m_lastFailureRejected = false;
    // Replies to a token request made before a sign-out are ignored: each
    // sign-in or refresh gets a listener of its own, and only the newest counts.
    Poco::SharedPtr<TokenListener> m_tokenListener;
};

}  // namespace Http
}  // namespace VantisClient
