#include "install/FilePartLayout.h"

#include <limits>

namespace VantisClient {

bool FilePartLayout::describePart(uint64_t remoteSize, const std::vector<uint32_t>& partSizes, bool zip,
                                  uint16_t index, Part& part) {
    if (index >= partSizes.size()) return false;
    part = Part();
    for (uint16_t i = 0; i < index; ++i) part.partOffset += partSizes[i];
    part.requestSize = partSizes[index];
    part.compressed = zip;
    if (zip) {
        part.destinationOffset = static_cast<uint64_t>(index) * ZIP_PART_SIZE;
        return expectedZipSize(remoteSize, partSizes.size(), index, part.expectedSize);
    }
    part.destinationOffset = static_cast<uint64_t>(index) * PLAIN_PART_SIZE;
    bool last = index + 1u == partSizes.size();
    part.expectedSize = last ? partSizes[index] : PLAIN_PART_SIZE;
    // The whole expected size is written from the received bytes.
    return part.expectedSize <= part.requestSize;
}

bool FilePartLayout::expectedZipSize(uint64_t remoteSize, size_t partCount, size_t index, uint32_t& size) {
    if (index + 1 < partCount) {
        size = ZIP_PART_SIZE;
        return true;
    }
    uint64_t before = static_cast<uint64_t>(partCount - 1) * ZIP_PART_SIZE;
    if (remoteSize < before || remoteSize - before > std::numeric_limits<uint32_t>::max()) return false;
    size = static_cast<uint32_t>(remoteSize - before);
    return true;
}

}  // namespace VantisClient
