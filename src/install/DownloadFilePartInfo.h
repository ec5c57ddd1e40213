// One part of a file to download: where its bytes lie in the remote object,
// where they go in the local file, and through which secure link keys it is
// fetched. Made on the install thread when the part is queued and not changed
// afterwards, but for the cancelled flag; a retry queues a new part.
// Thread-safety: read on the install thread and on the thread that delivers
// network answers; the cancelled flag is atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <Poco/SharedPtr.h>
#include <Poco/Timestamp.h>

#include "install/SecureUrlQuery.h"

namespace VantisClient {

struct DownloadFilePartInfo {
    using Ptr = Poco::SharedPtr<DownloadFilePartInfo>;

    // The file's relative path.
    std::string path;
    // The file's URL as the manifest gives it.
    std::string url;
    // The product and file keys of the secure link the part is fetched through.
    SecureUrlQuery linkKeys;
    // Where the file's data starts in the remote object.
    uint64_t fileOffset = 0;
    // Where the part's bytes start, relative to the file offset.
    uint64_t partOffset = 0;
    uint64_t destinationOffset = 0;
    uint16_t partIndex = 0;
    // The bytes to request.
    uint32_t requestSize = 0;
    // The bytes the part yields in the local file.
    uint32_t expectedSize = 0;
    // The part is a zip stream to unpack.
    bool compressed = false;
    bool redistributable = false;
    // A part queued again after a failure is not requested before this time.
    Poco::Timestamp notBefore;
    // Set when the download is aborted; the answer is then ignored.
    std::atomic<bool> cancelled{false};
};

}  // namespace VantisClient
