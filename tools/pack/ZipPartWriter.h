// Turns one chunk of a file into a single-entry zip stream: the form in which
// compressed parts travel, each inflating back to the chunk.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <cstddef>
#include <string>

namespace VantisClient {
namespace Pack {

class ZipPartWriter {
public:
    // The entry is always named ENTRY_NAME and dated 1980-01-01, so that equal
    // chunks give equal bytes. (A name taken from the file could contain "..",
    // which readers refuse as a path escape.)
    static const char* const ENTRY_NAME;

    static std::string Compress(const char* data, size_t size);
};

}  // namespace Pack
}  // namespace VantisClient
