#include "install/WritePartFeedback.h"

#include "common/Utilities.h"

namespace VantisClient {

const char* const WritePartFeedback::TYPE_NAME = "WritePartFeedback";

uint64_t WritePartFeedback::TypeId() {
    static const uint64_t typeId = Utilities::Hash64bit(TYPE_NAME);
    return typeId;
}

WritePartFeedback::WritePartFeedback(std::unique_ptr<DownloadFilePartFeedback> part, FileSystem::UnpackResult result)
    : m_part(std::move(part)), m_result(result) {
    setErrorCode(result == FileSystem::UnpackResult::Written ? 0 : 1);
}

}  // namespace VantisClient
