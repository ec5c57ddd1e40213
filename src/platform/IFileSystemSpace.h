// Free space of a mounted file system.
// Thread-safety: implementations are safe to call from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {

class IFileSystemSpace {
public:
    virtual ~IFileSystemSpace() = default;
    // Free bytes available on the file system holding the existing path `path`.
    // On failure returns false and sets `error` to the platform's description.
    virtual bool freeBytes(const std::string& path, uint64_t& bytes, std::string& error) = 0;
};

}  // namespace VantisClient
