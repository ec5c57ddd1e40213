// The install pipeline's file operations on this platform's file system. No
// operation reports success for a write that did not reach the disk, and every
// one refuses an empty or relative path.
// Thread-safety: stateless; concurrent calls on different paths are independent.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "install/FileSystem.h"

namespace VantisClient {

class PosixFileSystem final : public FileSystem {
public:
    bool createNewFile(const std::string& path, uint64_t size) override;
    bool writeToFile(const std::string& path, uint64_t offset, const char* data, uint32_t length) override;
    bool moveFile(const std::string& from, const std::string& to) override;
    bool deleteFile(const std::string& path) override;
    bool deleteDir(const std::string& path, bool onlyIfEmpty) override;
    bool createDir(const std::string& path) override;
    bool setHidden(const std::string& path) override;
    bool getFileSize(const std::string& path, uint64_t& size) override;
    bool getAllocatedSize(const std::string& path, uint64_t& size) override;

private:
    static bool isUsablePath(const std::string& path, const char* operation);
    static bool reserveSpace(int fd, uint64_t size);
    static bool createReservedFile(const std::string& path, uint64_t size);
    static bool removeUnlessReusable(const std::string& path, uint64_t size, bool& reusable);
    static bool replaceByRename(const std::string& from, const std::string& to);
    static bool copyAcrossFileSystems(const std::string& from, const std::string& to);
    static bool copyContents(int source, int target);
};

}  // namespace VantisClient
