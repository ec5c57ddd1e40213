#include "platform/StatvfsFileSystemSpace.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>

namespace VantisClient {

bool StatvfsFileSystemSpace::freeBytes(const std::string& path, uint64_t& bytes, std::string& error) {
    struct statvfs attributes {};
    if (::statvfs(path.c_str(), &attributes) != 0) {
        error = std::strerror(errno);
        return false;
    }
    bytes = static_cast<uint64_t>(attributes.f_bavail) * attributes.f_frsize;
    return true;
}

}  // namespace VantisClient
