#include "install/PartWriter.h"

#include "common/Logger.h"
#include "install/InstallPathGuard.h"
#include "install/ZipPartUnpacker.h"

namespace VantisClient {

PartWriter::PartWriter(FileSystem& fileSystem, std::string downloadsPath)
    : m_fileSystem(fileSystem), m_downloadsPath(std::move(downloadsPath)) {}

FileSystem::UnpackResult PartWriter::write(const DownloadFilePartFeedback& part, const std::string& target,
                                           Md5Digest* digest) const {
    if (part.getExpectedSize() == 0) return FileSystem::UnpackResult::Written;
    if (!InstallPathGuard::isInside(m_downloadsPath, target, InstallPathGuard::LastComponent::MustNotBeLink)) {
        return FileSystem::UnpackResult::WriteFailed;
    }
    const std::string& data = part.getData();
    if (part.isCompressed()) {
        const FileSystem::UnpackResult unpacked = ZipPartUnpacker::Unpack(
            m_fileSystem, data, target, part.getDestinationOffset(), part.getExpectedSize(), digest);
        if (unpacked != FileSystem::UnpackResult::Written) {
            Logger::LogError("Extracting or writing to file '%s' failed..", target.c_str());
        }
        return unpacked;
    }
    if (!m_fileSystem.writeToFile(target, part.getDestinationOffset(), data.data(), part.getExpectedSize())) {
        Logger::LogError("Writing to file '%s' failed..", target.c_str());
        return FileSystem::UnpackResult::WriteFailed;
    }
    if (digest != nullptr) digest->update(data.data(), part.getExpectedSize());
    return FileSystem::UnpackResult::Written;
}

}  // namespace VantisClient
