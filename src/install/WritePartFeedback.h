// What became of a received part once a worker put it into its file: the part
// as it was received (its bytes included, for telling repeated damage apart)
// and the outcome of the write.
// Thread-safety: made by a worker, then handed over whole to the install thread.
#pragma once

#include <cstdint>
#include <memory>

#include "install/DownloadFilePartFeedback.h"
#include "install/FileSystem.h"
#include "install/OperationFeedback.h"

namespace VantisClient {

class WritePartFeedback : public OperationFeedback {
public:
    static const char* const TYPE_NAME;
    static uint64_t TypeId();

    WritePartFeedback(std::unique_ptr<DownloadFilePartFeedback> part, FileSystem::UnpackResult result);

    uint64_t getId() const override { return TypeId(); }
    const DownloadFilePartFeedback& getPart() const { return *m_part; }
    FileSystem::UnpackResult getResult() const { return m_result; }

private:
    std::unique_ptr<DownloadFilePartFeedback> m_part;
    FileSystem::UnpackResult m_result;
};

}  // namespace VantisClient
