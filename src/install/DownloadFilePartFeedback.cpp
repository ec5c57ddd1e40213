#include "install/DownloadFilePartFeedback.h"

#include "common/Utilities.h"

namespace VantisClient {

const char* const DownloadFilePartFeedback::TYPE_NAME = "DownloadFilePartFeedback";

uint64_t DownloadFilePartFeedback::TypeId() {
    static const uint64_t typeId = Utilities::Hash64bit(TYPE_NAME);
    return typeId;
}

DownloadFilePartFeedback::DownloadFilePartFeedback(const DownloadFilePartInfo& part, PartError error,
                                                   int32_t statusCode)
    : m_path(part.path),
      m_fileOffset(part.fileOffset),
      m_destinationOffset(part.destinationOffset),
      m_partIndex(part.partIndex),
      m_expectedSize(part.expectedSize),
      m_requestSize(part.requestSize),
      m_compressed(part.compressed),
      m_statusCode(statusCode) {
    setErrorCode(error);
}

}  // namespace VantisClient
