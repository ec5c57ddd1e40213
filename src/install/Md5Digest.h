// An MD5 computed piece by piece as the bytes go by, with the system's
// cryptographic library (the fastest MD5 the machine has).
// Thread-safety: one digest is fed by one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct evp_md_ctx_st;

namespace VantisClient {

class Md5Digest {
public:
    Md5Digest();
    ~Md5Digest();
    Md5Digest(const Md5Digest&) = delete;
    Md5Digest& operator=(const Md5Digest&) = delete;

    void update(const char* data, size_t size);
    // The digest in lowercase hex; the digest is spent afterwards.
    std::string finish();

private:
    struct ContextFree {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, ContextFree> m_context;
};

}  // namespace VantisClient
