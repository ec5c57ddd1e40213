#include "install/CalculateHashOperation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include <openssl/evp.h>

#include "common/Logger.h"
#include "common/ScopeTimer.h"
#include "install/CalculateHashFeedback.h"

namespace VantisClient {

namespace {

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

struct FileCloser {
    int fd;
    ~FileCloser() { ::close(fd); }
};

// Feeds the whole file to the digest; false on a read error or an abort.
bool digestFile(int fd, EVP_MD_CTX* context, const std::atomic<bool>& abortFlag) {
    // Left uninitialised: zeroing it cost more than hashing a small file.
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[CalculateHashOperation::READ_SIZE]);
    for (;;) {
        ssize_t got = ::read(fd, buffer.get(), CalculateHashOperation::READ_SIZE);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || abortFlag) return false;
        if (got == 0) return true;
        if (EVP_DigestUpdate(context, buffer.get(), static_cast<size_t>(got)) != 1) return false;
    }
}

std::string toLowerHex(const unsigned char* bytes, unsigned int length) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0x0f];
    }
    return hex;
}

bool md5OfFile(int fd, const std::atomic<bool>& abortFlag, std::string& hash) {
    DigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) return false;
    if (!digestFile(fd, context.get(), abortFlag)) return false;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return false;
    hash = toLowerHex(digest, length);
    return true;
}

}  // namespace

CalculateHashOperation::CalculateHashOperation(const std::string& relativePath, const std::string& fullPath)
    : m_relativePath(relativePath), m_fullPath(fullPath) {}

OperationFeedback* CalculateHashOperation::doWork(const std::atomic<bool>& abortFlag) {
    auto* feedback = new CalculateHashFeedback(m_relativePath);
    std::string hash;
    if (calculateHash(m_fullPath, hash, abortFlag)) feedback->setHash(hash);
    return feedback;
}

bool CalculateHashOperation::calculateHash(const std::string& path, std::string& hash,
                                           const std::atomic<bool>& abortFlag) {
    ScopeTimer timer("Calculating hash for file " + path);
    // Opened without blocking and checked before reading: a pipe or a device
    // under a file's name must fail, not hold the worker (and an abort) for ever.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        FileCloser closer{fd};
        struct stat status {};
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
            if (md5OfFile(fd, abortFlag, hash)) return true;
            if (abortFlag) return false;
        }
    }
    Logger::LogError("Calculating hash for file %s failed.", path.c_str());
    return false;
}

}  // namespace VantisClient
