// Puts one received part into its file on an operations worker, so that the
// install thread goes on issuing requests while parts are unpacked and written.
// Thread-safety: runs on one worker. The writer and the digest belong to the
// downloader, which touches neither until the operation's result is back (an
// abort waits for running operations).
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "install/DownloadFilePartFeedback.h"
#include "install/Md5Digest.h"
#include "install/Operation.h"
#include "install/PartWriter.h"

namespace VantisClient {

class WritePartOperation : public Operation {
public:
    WritePartOperation(const PartWriter& writer, const DownloadFilePartFeedback& part, std::string target,
                       Md5Digest* digest);

    // A WritePartFeedback; runs to its end even after an abort, so that no
    // part is left half written without its outcome being known.
    OperationFeedback* doWork(const std::atomic<bool>& abortFlag) override;

private:
    const PartWriter& m_writer;
    std::unique_ptr<DownloadFilePartFeedback> m_part;
    const std::string m_target;
    Md5Digest* m_digest;
};

}  // namespace VantisClient
