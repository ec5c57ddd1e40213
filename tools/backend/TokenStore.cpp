#include "backend/TokenStore.h"

#include <Poco/DigestEngine.h>
#include <Poco/RandomStream.h>
#include <Poco/Timestamp.h>

#include <vector>

namespace VantisClient {
namespace Backend {

TokenStore::TokenStore(int64_t accessTokenLifetime, Clock clock)
    : m_lifetime(accessTokenLifetime), m_clock(std::move(clock)) {}

std::string TokenStore::RandomToken() {
    Poco::RandomInputStream random;
    std::vector<unsigned char> bytes(24);
    random.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return Poco::DigestEngine::digestToHex(bytes);
}

int64_t TokenStore::now() const {
    return m_clock ? m_clock() : static_cast<int64_t>(Poco::Timestamp().epochTime());
}

// Drops the expired entries, then the user's oldest beyond the limit. Called
// before each insertion, so the maps stay within the users' limits and hold no
// more expired entries than were issued since the last insertion.
void TokenStore::prune(Entries& entries, const std::string& userId) {
    const int64_t current = now();
    size_t held = 0;
    auto oldest = entries.end();
    for (auto entry = entries.begin(); entry != entries.end();) {
        if (entry->second.expires != 0 && entry->second.expires <= current) {
            entry = entries.erase(entry);
            continue;
        }
        if (entry->second.userId == userId) {
            ++held;
            if (oldest == entries.end() || entry->second.sequence < oldest->second.sequence) oldest = entry;
        }
        ++entry;
    }
    if (held >= PER_USER_LIMIT) entries.erase(oldest);
}

TokenGrant TokenStore::issue(const std::string& userId, const std::string& refreshToken) {
    TokenGrant grant;
    grant.accessToken = RandomToken();
    grant.refreshToken = refreshToken.empty() ? RandomToken() : refreshToken;
    grant.expiresIn = m_lifetime;
    std::lock_guard<std::mutex> lock(m_mutex);
    prune(m_accessTokens, userId);
    m_accessTokens[grant.accessToken] = {userId, "", now() + m_lifetime, ++m_sequence};
    if (!m_refreshTokens.count(grant.refreshToken)) prune(m_refreshTokens, userId);
    m_refreshTokens[grant.refreshToken] = {userId, "", 0, ++m_sequence};
    return grant;
}

bool TokenStore::userOfAccessToken(const std::string& accessToken, std::string& userId) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto token = m_accessTokens.find(accessToken);
    if (token == m_accessTokens.end() || token->second.expires <= now()) return false;
    userId = token->second.userId;
    return true;
}

bool TokenStore::userOfRefreshToken(const std::string& refreshToken, std::string& userId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto token = m_refreshTokens.find(refreshToken);
    if (token == m_refreshTokens.end()) return false;
    token->second.sequence = ++m_sequence;
    userId = token->second.userId;
    return true;
}

std::string TokenStore::issueCode(const std::string& userId, const std::string& redirectUri) {
    std::string code = RandomToken();
    std::lock_guard<std::mutex> lock(m_mutex);
    prune(m_codes, userId);
    m_codes[code] = {userId, redirectUri, now() + CODE_LIFETIME_SECONDS, ++m_sequence};
    return code;
}

bool TokenStore::redeemCode(const std::string& code, const std::string& redirectUri, std::string& userId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto entry = m_codes.find(code);
    if (entry == m_codes.end()) return false;
    Entry found = entry->second;
    m_codes.erase(entry);
    if (found.expires <= now() || (!redirectUri.empty() && redirectUri != found.redirectUri)) return false;
    userId = found.userId;
    return true;
}

void TokenStore::expireAccessTokens() {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Expired tokens answer like unknown ones, so they need not be kept.
    m_accessTokens.clear();
}

void TokenStore::revokeAllTokens() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accessTokens.clear();
    m_refreshTokens.clear();
}

size_t TokenStore::accessTokenCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_accessTokens.size();
}

size_t TokenStore::refreshTokenCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_refreshTokens.size();
}

size_t TokenStore::codeCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_codes.size();
}

}  // namespace Backend
}  // namespace VantisClient
