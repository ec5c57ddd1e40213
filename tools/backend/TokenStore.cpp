#include "backend/TokenStore.h"

#include <Poco/DigestEngine.h>
#include <Poco/RandomStream.h>
#include <Poco/Timestamp.h>

#include <vector>

namespace VantisClient {
namespace Backend {

namespace {

int64_t now() {
    return static_cast<int64_t>(Poco::Timestamp().epochTime());
}

}  // namespace

TokenStore::TokenStore(int64_t accessTokenLifetime) : m_lifetime(accessTokenLifetime) {}

std::string TokenStore::RandomToken() {
    Poco::RandomInputStream random;
    std::vector<unsigned char> bytes(24);
    random.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return Poco::DigestEngine::digestToHex(bytes);
}

TokenGrant TokenStore::issue(const std::string& userId, const std::string& refreshToken) {
    TokenGrant grant;
    grant.accessToken = RandomToken();
    grant.refreshToken = refreshToken.empty() ? RandomToken() : refreshToken;
    grant.expiresIn = m_lifetime;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accessTokens[grant.accessToken] = {userId, now() + m_lifetime};
    m_refreshTokens[grant.refreshToken] = userId;
    return grant;
}

bool TokenStore::userOfAccessToken(const std::string& accessToken, std::string& userId) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto token = m_accessTokens.find(accessToken);
    if (token == m_accessTokens.end() || token->second.expires <= now()) return false;
    userId = token->second.userId;
    return true;
}

bool TokenStore::userOfRefreshToken(const std::string& refreshToken, std::string& userId) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto token = m_refreshTokens.find(refreshToken);
    if (token == m_refreshTokens.end()) return false;
    userId = token->second;
    return true;
}

std::string TokenStore::issueCode(const std::string& userId, const std::string& redirectUri) {
    std::string code = RandomToken();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_codes[code] = {userId, redirectUri, now() + CODE_LIFETIME_SECONDS};
    return code;
}

bool TokenStore::redeemCode(const std::string& code, const std::string& redirectUri, std::string& userId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto entry = m_codes.find(code);
    if (entry == m_codes.end()) return false;
    Code found = entry->second;
    m_codes.erase(entry);
    if (found.expires <= now() || (!redirectUri.empty() && redirectUri != found.redirectUri)) return false;
    userId = found.userId;
    return true;
}

void TokenStore::expireAccessTokens() {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& token : m_accessTokens) token.second.expires = 0;
}

}  // namespace Backend
}  // namespace VantisClient
