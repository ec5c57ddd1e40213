// Free space through statvfs: the bytes available to unprivileged users.
#pragma once

#include "platform/IFileSystemSpace.h"

namespace VantisClient {

class StatvfsFileSystemSpace : public IFileSystemSpace {
public:
    bool freeBytes(const std::string& path, uint64_t& bytes, std::string& error) override;
};

}  // namespace VantisClient
