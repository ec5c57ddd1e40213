// Writes the web cache's files so that a reader never finds half a file and
// no link inside the cache can send a write elsewhere: every directory below
// the base is entered without following links (and created 0700 when it is
// missing), the content goes to a temporary file (0600) in the destination's
// directory, and only a complete copy is renamed over the destination. The
// base itself may be reached through links: where the cache lives is the
// user's choice.
// Thread-safety: stateless, safe from any thread; concurrent writes of one
// destination leave one whole copy.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace VantisClient {

class WebCacheWriter {
public:
    static constexpr int64_t UNKNOWN_LENGTH = -1;
    static constexpr int64_t NO_BOUND = INT64_MAX;

    // Copies `content` to `relativePath` below `baseDirectory`. The copy counts
    // as complete when the stream ended without error, held no more than
    // `maxLength` bytes and, unless the length is unknown, exactly
    // `expectedLength` bytes. False (logged) for a path that is not a safe
    // relative path, a link or file in the way, an incomplete or too long copy
    // or any file system error; the destination is then left as it was.
    static bool Write(const std::string& baseDirectory, const std::string& relativePath, std::istream& content,
                      int64_t expectedLength, int64_t maxLength = NO_BOUND);
    // Creates the directories of `relativePath` below `baseDirectory` (0700),
    // entering existing ones without following links. False (logged) on failure.
    static bool CreateDirectories(const std::string& baseDirectory, const std::string& relativePath);

private:
    // The directory reached from `baseDirectory` through `names`, each created
    // where missing (the base too, when its parent exists); -1 (errno set) when
    // it cannot be reached without following a link below the base.
    static int openDirectoryBelow(const std::string& baseDirectory, const std::vector<std::string>& names);
    static int createTemporaryFile(int directory, std::string& name);
    // Why the copy is not whole, or nullptr when it is.
    static const char* copyAll(std::istream& content, int file, int64_t expectedLength, int64_t maxLength);
    static bool fail(const std::string& baseDirectory, const std::string& relativePath, const char* reason);
};

}  // namespace VantisClient
