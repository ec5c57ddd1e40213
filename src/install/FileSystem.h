// The file operations of the install pipeline: create a file at its final size,
// write a part at an offset, move, delete, create directories, read a
// size. Each returns a bool and logs its own failure; callers only decide what a
// failure means for the install. The pipeline is handed one (the POSIX one
// unless a test hands it one that fails at will), so that every failure of the
// disk can be provoked without a full or broken disk.
// Thread-safety: implementations are safe for concurrent calls on different paths.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {

class FileSystem {
public:
    // The platform's file system, for the life of the process.
    static FileSystem& Default();

    virtual ~FileSystem() = default;

    // Reserves the space at once, so that a full disk shows here and not as a
    // damaged file later. A regular file of exactly `size` bytes is kept as it is.
    virtual bool createNewFile(const std::string& path, uint64_t size) = 0;
    // Never truncates: the other parts of the file stay.
    virtual bool writeToFile(const std::string& path, uint64_t offset, const char* data, uint32_t length) = 0;
    // What became of a part: its data can be bad without the disk being at
    // fault; the caller fetches a damaged part again but gives up on a file it
    // cannot write.
    enum class UnpackResult { Written, DamagedData, WriteFailed };
    // Puts `from` in the place of `to` in one step; whatever was at `to` stays
    // there until the new file is in place, and stays there when the move fails.
    virtual bool moveFile(const std::string& from, const std::string& to) = 0;
    virtual bool deleteFile(const std::string& path) = 0;
    // With `onlyIfEmpty`, a directory that holds anything is left alone (true).
    virtual bool deleteDir(const std::string& path, bool onlyIfEmpty) = 0;
    virtual bool createDir(const std::string& path) = 0;
    // Nothing to do on this platform.
    virtual bool setHidden(const std::string& path) = 0;
    // False when no file (other than a directory) is there.
    virtual bool getFileSize(const std::string& path, uint64_t& size) = 0;
    // The bytes the disk holds for the file at `path`; false when no file is there.
    virtual bool getAllocatedSize(const std::string& path, uint64_t& size) = 0;
};

}  // namespace VantisClient
