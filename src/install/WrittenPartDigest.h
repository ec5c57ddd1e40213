// The digest of what a part wrote into its file: the bytes at the part's place,
// read back. Plain and zip parts alike are compared by what they put in the
// file, so the fetches of one part can be told apart however it travelled.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "install/Md5Digest.h"

namespace VantisClient {

class WrittenPartDigest {
public:
    // False, with a log line, when the file cannot be read that far.
    static bool Compute(const std::string& path, uint64_t offset, uint32_t length, std::string& digest);
    // Feeds those bytes to `digest` instead; false, with a log line, as above.
    static bool Feed(const std::string& path, uint64_t offset, uint32_t length, Md5Digest& digest);
};

}  // namespace VantisClient
