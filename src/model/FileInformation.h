// What is known of one product file: its kind, relative path, MD5 digest (when
// known), size and flags. The path hash is the file's storage key and follows
// the path, which never changes after construction.
// Thread-safety: a plain value; guard it like the record that holds it.
#pragma once

#include <cstdint>
#include <string>

#include "model/FileType.h"

namespace VantisClient {

class FileInformation {
public:
    FileInformation(FileType type, const std::string& path);
    FileInformation(FileType type, const std::string& path, const std::string& hash, uint64_t size);
    FileInformation(FileType type, const std::string& path, const std::string& hash, uint64_t size, bool hidden,
                    bool executable);

    FileType getType() const { return m_type; }
    const std::string& getPath() const { return m_path; }
    uint64_t getPathHash() const { return m_pathHash; }
    const std::string& getHash() const { return m_hash; }
    void setHash(const std::string& hash) { m_hash = hash; }
    uint64_t getSize() const { return m_size; }
    void setSize(uint64_t size) { m_size = size; }
    bool isHidden() const { return m_hidden; }
    bool isExecutable() const { return m_executable; }

    // Type, path, size and hash all equal.
    bool matchesFully(const FileInformation& other) const;
    // Type, path and size equal; the hash is not looked at.
    bool matchesExceptHash(const FileInformation& other) const;

private:
    FileType m_type;
    std::string m_path;
    uint64_t m_pathHash;
    std::string m_hash;
    uint64_t m_size;
    bool m_hidden;
    bool m_executable;
};

}  // namespace VantisClient
