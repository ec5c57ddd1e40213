#include "install/WrittenPartDigest.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/Logger.h"

namespace VantisClient {

namespace {
const size_t READ_BUFFER_SIZE = 256 * 1024;
}

bool WrittenPartDigest::Compute(const std::string& path, uint64_t offset, uint32_t length, std::string& digest) {
    Md5Digest md5;
    if (!Feed(path, offset, length, md5)) return false;
    digest = md5.finish();
    return true;
}

bool WrittenPartDigest::Feed(const std::string& path, uint64_t offset, uint32_t length, Md5Digest& digest) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Logger::LogError("Could not read back file '%s' at %llu: %s", path.c_str(),
                         static_cast<unsigned long long>(offset), std::strerror(errno));
        return false;
    }
    std::vector<char> buffer(READ_BUFFER_SIZE);
    uint64_t left = length;
    uint64_t position = offset;
    while (left > 0) {
        const ssize_t got = ::pread(fd, buffer.data(), std::min<uint64_t>(left, buffer.size()),
                                    static_cast<off_t>(position));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        digest.update(buffer.data(), static_cast<size_t>(got));
        left -= static_cast<uint64_t>(got);
        position += static_cast<uint64_t>(got);
    }
    ::close(fd);
    if (left > 0) {
        Logger::LogError("Could not read back file '%s' at %llu: it ends early", path.c_str(),
                         static_cast<unsigned long long>(offset));
        return false;
    }
    return true;
}

}  // namespace VantisClient
