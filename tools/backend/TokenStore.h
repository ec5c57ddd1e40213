// OAuth state of the backend: authorization codes from the login page, access
// tokens with their expiry, and refresh tokens. Refresh tokens stay valid when
// they are used, so a client that keeps the one it stored at sign-in can still
// sign in with it after an in-session refresh.
// Thread-safety: every operation takes the store's mutex.
#pragma once

#include <cstdint>
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

    explicit TokenStore(int64_t accessTokenLifetime);

    // A new access token for the user, with `refreshToken` kept, or a new one when empty.
    TokenGrant issue(const std::string& userId, const std::string& refreshToken = "");
    // The user of a valid, unexpired access token.
    bool userOfAccessToken(const std::string& accessToken, std::string& userId) const;
    bool userOfRefreshToken(const std::string& refreshToken, std::string& userId) const;

    // A single-use code for the authorization-code grant.
    std::string issueCode(const std::string& userId, const std::string& redirectUri);
    // Consumes the code; false when unknown, used, expired or for another redirect.
    bool redeemCode(const std::string& code, const std::string& redirectUri, std::string& userId);

    // Every access token issued so far answers as expired from now on.
    void expireAccessTokens();

    static std::string RandomToken();

private:
    struct AccessToken {
        std::string userId;
        int64_t expires = 0;
    };
    struct Code {
        std::string userId;
        std::string redirectUri;
        int64_t expires = 0;
    };

    const int64_t m_lifetime;
    mutable std::mutex m_mutex;
    std::map<std::string, AccessToken> m_accessTokens;
    std::map<std::string, std::string> m_refreshTokens;
    std::map<std::string, Code> m_codes;
};

}  // namespace Backend
}  // namespace VantisClient
