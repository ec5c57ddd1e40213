// Puts the bytes of a received part into its file at the part's place:
// unpacked when they are a zip stream (checked against its own CRC and size),
// as they are otherwise, and only into a file below the downloads directory
// that is reached without a link. The bytes that reach the file are fed, in
// order, to a digest when one is given.
// Thread-safety: write() may run on several threads at once for different
// parts; the file system must allow that.
#pragma once

#include <string>

#include "install/DownloadFilePartFeedback.h"
#include "install/FileSystem.h"
#include "install/Md5Digest.h"

namespace VantisClient {

class PartWriter {
public:
    PartWriter(FileSystem& fileSystem, std::string downloadsPath);

    // Written also for a part of no bytes, which has nothing to write.
    FileSystem::UnpackResult write(const DownloadFilePartFeedback& part, const std::string& target,
                                   Md5Digest* digest) const;

private:
    FileSystem& m_fileSystem;
    const std::string m_downloadsPath;
};

}  // namespace VantisClient
