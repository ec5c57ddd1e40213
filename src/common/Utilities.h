// Path and file helpers, the 64-bit path hash, free space, reachability and
// return-code descriptions.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "common/EReturnCode.h"

namespace VantisClient {

class Utilities {
public:
    // `b` appended to `a` as a directory: "/a" and "b" give "/a/b".
    static std::string AppendPath(const std::string& a, const std::string& b);
    static std::string AppendPath(const char* a, const char* b);

    // Makes sure the directory that will hold `path` exists, replacing a plain file
    // standing in its place. Logs and returns false on failure.
    static bool CreateDirectoryForFile(const std::string& path);
    // Creates the directory with its parents, replacing a non-directory at `path`.
    static bool CreateDirectory(const std::string& path);
    // True for anything but a directory; false when nothing is there. A check that
    // itself fails (access denied) answers true: something may be there.
    static bool GetFileExists(const std::string& path);
    static bool GetDirectoryExists(const std::string& path);
    // Removes a directory with its contents, a regular file or a link (never what
    // the link points to); true when nothing is left. An empty or relative path
    // is refused (false).
    static bool DeleteFileOrDirectory(const std::string& path);
    static std::string MakeAbsolutePath(const std::string& path);
    // Every backslash becomes "/".
    static std::string NormalizePath(const std::string& path);

    static uint64_t Hash64bit(const char* text);

    // Free bytes of the file system that holds `path` or, when it does not exist
    // yet, its nearest existing ancestor. 0 on failure (logged).
    static uint64_t GetFreeSpaceForPath(const std::string& path);
    static bool CheckInternetAccess();

    static std::string GetReturnCodeDescription(int32_t code);
};

}  // namespace VantisClient
