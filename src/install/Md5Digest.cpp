#include "install/Md5Digest.h"

#include <openssl/evp.h>

#include <Poco/Exception.h>

namespace VantisClient {

void Md5Digest::ContextFree::operator()(evp_md_ctx_st* context) const { EVP_MD_CTX_free(context); }

Md5Digest::Md5Digest() : m_context(EVP_MD_CTX_new()) {
    if (!m_context || EVP_DigestInit_ex(m_context.get(), EVP_md5(), nullptr) != 1) {
        throw Poco::SystemException("MD5 is not available");
    }
}

Md5Digest::~Md5Digest() = default;

void Md5Digest::update(const char* data, size_t size) { EVP_DigestUpdate(m_context.get(), data, size); }

std::string Md5Digest::finish() {
    static const char digits[] = "0123456789abcdef";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context.get(), digest, &length);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 0x0f];
    }
    return hex;
}

}  // namespace VantisClient
