#include "install/CalculateHashOperation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "common/Logger.h"
#include "common/ScopeTimer.h"
#include "install/CalculateHashFeedback.h"
#include "install/Md5Digest.h"

namespace VantisClient {

namespace {

struct FileCloser {
    int fd;
    ~FileCloser() { ::close(fd); }
};

// Feeds the whole file to the digest; false on a read error or an abort.
bool digestFile(int fd, Md5Digest& digest, const std::atomic<bool>& abortFlag) {
    // Left uninitialised: zeroing it cost more than hashing a small file.
    std::unique_ptr<char[]> buffer(new char[CalculateHashOperation::READ_SIZE]);
    for (;;) {
        ssize_t got = ::read(fd, buffer.get(), CalculateHashOperation::READ_SIZE);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || abortFlag) return false;
        if (got == 0) return true;
        digest.update(buffer.get(), static_cast<size_t>(got));
    }
}

bool md5OfFile(int fd, const std::atomic<bool>& abortFlag, std::string& hash) {
    Md5Digest digest;
    if (!digestFile(fd, digest, abortFlag)) return false;
    hash = digest.finish();
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
