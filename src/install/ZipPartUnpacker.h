// Unpacks the zip stream of one compressed part into its file at the part's
// place. The inflated bytes go to the file in large pieces through the file
// system, and in order to a digest when one is given, so that the file's MD5
// grows as it is written. A part that inflates to more or to less than its
// expected size, or whose entry fails its CRC, is damaged data; a file the
// disk does not take is a failed write, whatever the data.
// Thread-safety: stateless; parts of different files may be unpacked at once.
#pragma once

#include <cstdint>
#include <string>

#include "install/FileSystem.h"
#include "install/Md5Digest.h"

namespace VantisClient {

class ZipPartUnpacker {
public:
    // Bytes gathered before each write to the file.
    static const size_t WRITE_PIECE_BYTES = 1024 * 1024;

    // `digest` (may be null) is fed every byte written, also those of a part
    // that turns out damaged.
    static FileSystem::UnpackResult Unpack(FileSystem& fileSystem, const std::string& compressed,
                                           const std::string& path, uint64_t offset, uint32_t expectedSize,
                                           Md5Digest* digest);
};

}  // namespace VantisClient
