// OAuth state of the backend: authorization codes from the login page, access
// tokens with their expiry, and refresh tokens. Refresh tokens stay valid when
// they are used, so a client that keeps the one it stored at sign-in can still
// sign in with it after an in-session refresh.
//
// Nothing grows without end: expired codes and access tokens are dropped as new
// ones are issued, and each user keeps at most a fixed number of each kind, the
// oldest (for refresh tokens: the longest unused) giving way first.
//
// Thread-safety: every operation takes the store's mutex.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace VantisClient {
namespace Backend {

struct TokenGrant {
    std::string accessToken;
    std::string refreshToken;
    int64_t expiresIn = 0;
};

class TokenStore {
public:
    static const int64_t CODE_LIFETIME_SECONDS = 300;
    static const size_t PER_USER_LIMIT = 256;

    // Seconds since the epoch; tests pass their own clock.
    using Clock = std::function<int64_t()>;

    explicit TokenStore(int64_t accessTokenLifetime, Clock clock = Clock());

    // A new access token for the user, with `refreshToken` kept, or a new one when empty.
    TokenGrant issue(const std::string& userId, const std::string& refreshToken = "");
    // The user of a valid, unexpired access token.
    bool userOfAccessToken(const std::string& accessToken, std::string& userId) const;
    // The user of a known refresh token; counts as a use of it.
    bool userOfRefreshToken(const std::string& refreshToken, std::string& userId);

    // A single-use code for the authorization-code grant.
    std::string issueCode(const std::string& userId, const std::string& redirectUri);
    // Consumes the code; false when unknown, used, expired or for another redirect.
    bool redeemCode(const std::string& code, const std::string& redirectUri, std::string& userId);

    // Every access token issued so far answers as expired from now on.
    void expireAccessTokens();
    // Forgets every access and refresh token: each session ends, as when an
    // account's tokens are revoked.
    void revokeAllTokens();

    // How many of each kind are held.
    size_t accessTokenCount() const;
    size_t refreshTokenCount() const;
    size_t codeCount() const;

    static std::string RandomToken();

private:
    struct Entry {
        std::string userId;
        std::string redirectUri;  // codes only
        int64_t expires = 0;      // 0 for refresh tokens: they do not expire
        uint64_t sequence = 0;    // order of issue, or of last use for refresh tokens
    };
    using Entries = std::map<std::string, Entry>;

    int64_t now() const;
    void prune(Entries& entries, const std::string& userId);

    const int64_t m_lifetime;
    const Clock m_clock;
    mutable std::mutex m_mutex;
    uint64_t m_sequence = 0;
    Entries m_accessTokens;
    Entries m_refreshTokens;
    Entries m_codes;
};

}  // namespace Backend
}  // namespace VantisClient
