// How a downloaded file is cut into parts: where each part's bytes lie in the
// remote object, where they go in the local file and how many bytes they yield
// there. A zip file's parts each inflate to 6 MiB but the last; a plain file is
// cut into 1 MiB parts stored in place. A manifest whose sizes do not add up is
// refused here rather than turned into a wrapped size or a write past the data.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace VantisClient {

class FilePartLayout {
public:
    static const uint32_t ZIP_PART_SIZE = 0x600000;
    static const uint32_t PLAIN_PART_SIZE = 0x100000;

    struct Part {
        // Where the part starts, relative to the file's offset in the remote object.
        uint64_t partOffset = 0;
        uint64_t destinationOffset = 0;
        uint32_t requestSize = 0;
        uint32_t expectedSize = 0;
        bool compressed = false;
    };

    // False for an index beyond the parts, a last zip part that the remote size
    // cannot hold, and a plain part that yields more bytes than it carries.
    static bool describePart(uint64_t remoteSize, const std::vector<uint32_t>& partSizes, bool zip, uint16_t index,
                             Part& part);

private:
    static bool expectedZipSize(uint64_t remoteSize, size_t partCount, size_t index, uint32_t& size);
};

}  // namespace VantisClient
