#include "backend/LinkSigner.h"

#include <Poco/HMACEngine.h>
#include <Poco/NumberParser.h>
#include <Poco/SHA1Engine.h>
#include <Poco/Timestamp.h>

#include "backend/TokenStore.h"

namespace VantisClient {
namespace Backend {

LinkSigner::LinkSigner(int64_t lifetimeSeconds) : m_lifetime(lifetimeSeconds), m_secret(TokenStore::RandomToken()) {}

std::string LinkSigner::sign(const std::string& path) const {
    std::string expires = std::to_string(static_cast<int64_t>(Poco::Timestamp().epochTime()) + m_lifetime);
    return "expires=" + expires + "&signature=" + signature(path, expires);
}

bool LinkSigner::verify(const std::string& path, const std::string& expires, const std::string& given) const {
    Poco::Int64 expiry = 0;
    if (!Poco::NumberParser::tryParse64(expires, expiry)) return false;
    if (expiry <= static_cast<Poco::Int64>(Poco::Timestamp().epochTime())) return false;
    return given == signature(path, expires);
}

void LinkSigner::rotate() {
    std::string secret = TokenStore::RandomToken();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_secret = secret;
}

std::string LinkSigner::signature(const std::string& path, const std::string& expires) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    Poco::HMACEngine<Poco::SHA1Engine> hmac(m_secret);
    hmac.update(path + "\n" + expires);
    return Poco::DigestEngine::digestToHex(hmac.digest());
}

}  // namespace Backend
}  // namespace VantisClient
