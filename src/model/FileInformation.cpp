#include "model/FileInformation.h"

#include "common/Utilities.h"

namespace VantisClient {

FileInformation::FileInformation(FileType type, const std::string& path) : FileInformation(type, path, "", 0) {}

FileInformation::FileInformation(FileType type, const std::string& path, const std::string& hash, uint64_t size)
    : FileInformation(type, path, hash, size, false, false) {}

FileInformation::FileInformation(FileType type, const std::string& path, const std::string& hash, uint64_t size,
                                 bool hidden, bool executable)
    : m_type(type),
      m_path(path),
      m_pathHash(Utilities::Hash64bit(path.c_str())),
      m_hash(hash),
      m_size(size),
      m_hidden(hidden),
      m_executable(executable) {}

bool FileInformation::matchesFully(const FileInformation& other) const {
    return matchesExceptHash(other) && m_hash == other.m_hash;
}

bool FileInformation::matchesExceptHash(const FileInformation& other) const {
    return m_type == other.m_type && m_path == other.m_path && m_size == other.m_size;
}

}  // namespace VantisClient
