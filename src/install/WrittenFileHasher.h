// Computes the MD5 of downloading files from their parts as they are written,
// so that a finished file need not be read again. A file's digest is fed in
// part order: the part being written is fed from its own bytes when it is the
// next one; parts written before it (a resumed file, or parts that overtook the
// one before them) are read back from the file when their turn comes. A file
// whose hashing went wrong starts again from its first part.
// Thread-safety: used on the install thread; only a digest handed out is fed
// elsewhere, by one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <Poco/Optional.h>

#include "install/Md5Digest.h"
#include "model/DownloadingFileInfo.h"

namespace VantisClient {

class WrittenFileHasher {
public:
    // The digest to feed while part `index` of `file` is written, when it is
    // the next part in order once the parts already written before it are
    // read back; null otherwise, also while another part is being fed. The
    // digest may be fed on another thread until partWritten or partFailed.
    Md5Digest* digestFor(const DownloadingFileInfo& file, uint16_t index);
    // Part `index` is in the file and, when digestFor gave a digest, was fed to it.
    void partWritten(const DownloadingFileInfo& file, uint16_t index);
    // Part `index` did not reach the file whole; when it fed the digest, the
    // file starts again from its first part.
    void partFailed(const DownloadingFileInfo& file, uint16_t index);
    // The file's MD5 once every part is written and fed; unset when its
    // hashing was never begun or went wrong.
    Poco::Optional<std::string> finish(const DownloadingFileInfo& file);

private:
    struct Progress {
        Md5Digest digest;
        // The next part to feed.
        uint16_t next = 0;
        // The part digestFor handed the digest out for, until it is written.
        Poco::Optional<uint16_t> feeding;
    };

    // Feeds the parts that are written and next in order from the file; false
    // when one cannot be read.
    bool catchUp(const DownloadingFileInfo& file, Progress& progress);
    static bool feedFromFile(const DownloadingFileInfo& file, uint16_t index, Md5Digest& digest);

    std::map<std::string, std::unique_ptr<Progress>> m_files;
};

}  // namespace VantisClient
