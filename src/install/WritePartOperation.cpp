#include "install/WritePartOperation.h"

#include "install/WritePartFeedback.h"

namespace VantisClient {

WritePartOperation::WritePartOperation(const PartWriter& writer, const DownloadFilePartFeedback& part,
                                       std::string target, Md5Digest* digest)
    : m_writer(writer), m_part(new DownloadFilePartFeedback(part)), m_target(std::move(target)), m_digest(digest) {}

OperationFeedback* WritePartOperation::doWork(const std::atomic<bool>&) {
    const FileSystem::UnpackResult result = m_writer.write(*m_part, m_target, m_digest);
    return new WritePartFeedback(std::move(m_part), result);
}

}  // namespace VantisClient
