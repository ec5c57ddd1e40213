// Signed, expiring content links: "<path>?expires=<epoch seconds>&signature=<hex>"
// where the signature is an HMAC over the path and the expiry with a secret
// drawn at start. Rotating the secret voids every link handed out before.
// Thread-safety: every operation takes the signer's mutex.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace VantisClient {
namespace Backend {

class LinkSigner {
public:
    explicit LinkSigner(int64_t lifetimeSeconds);

    // The query string ("expires=...&signature=...") that makes `path` fetchable.
    std::string sign(const std::string& path) const;
    bool verify(const std::string& path, const std::string& expires, const std::string& signature) const;
    void rotate();

private:
    std::string signature(const std::string& path, const std::string& expires) const;

    const int64_t m_lifetime;
    mutable std::mutex m_mutex;
    std::string m_secret;
};

}  // namespace Backend
}  // namespace VantisClient
