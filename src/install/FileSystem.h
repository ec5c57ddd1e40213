// The file operations of the install pipeline: create a file at its final size,
// write or unpack a part at an offset, move, delete, create directories, read a
// size. Each returns a bool and logs its own failure; callers only decide what a
// failure means for the install. No operation reports success for a write that
// did not reach the disk, and every one refuses an empty or relative path.
// Thread-safety: stateless; concurrent calls on different paths are independent.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

namespace VantisClient {

class FileSystem {
public:
    // Reserves the space at once, so that a full disk shows here and not as a
    // damaged file later. A regular file of exactly `size` bytes is kept as it is.
    static bool createNewFile(const std::string& path, uint64_t size);
    // Never truncates: the other parts of the file stay.
    static bool writeToFile(const std::string& path, uint64_t offset, const char* data, uint32_t length);
    // A part's data can be bad without the disk being at fault: the caller
    // fetches a damaged part again but gives up on a file it cannot write.
    enum class UnpackResult { Written, DamagedData, WriteFailed };

    // Unpacks the zip stream of one part at `offset`, writing at most
    // `expectedSize` bytes: a part that inflates to more or to less, or whose
    // entry fails its CRC, is damaged data.
    static UnpackResult uncompressBufferToFile(std::istream& input, const std::string& path, uint64_t offset,
                                               uint32_t expectedSize);
    // Puts `from` in the place of `to` in one step; whatever was at `to` stays
    // there until the new file is in place, and stays there when the move fails.
    static bool moveFile(const std::string& from, const std::string& to);
    static bool deleteFile(const std::string& path);
    // With `onlyIfEmpty`, a directory that holds anything is left alone (true).
    static bool deleteDir(const std::string& path, bool onlyIfEmpty);
    static bool createDir(const std::string& path);
    // Nothing to do on this platform.
    static bool setHidden(const std::string& path);
    // False when no file (other than a directory) is there.
    static bool getFileSize(const std::string& path, uint64_t& size);

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
