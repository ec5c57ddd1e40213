// Computes the MD5 of one file on an operations worker. A file that cannot be
// opened or read fails: its hash is never that of the bytes that were missing.
// Thread-safety: one operation runs on one worker; calculateHash is stateless.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "install/FileSystemOperation.h"

namespace VantisClient {

class CalculateHashOperation : public FileSystemOperation {
public:
    // Large reads keep the digest, not the system calls, the limit.
    static constexpr size_t READ_SIZE = 256 * 1024;

    CalculateHashOperation(const std::string& relativePath, const std::string& fullPath);

    // A CalculateHashFeedback keyed by the relative path.
    OperationFeedback* doWork(const std::atomic<bool>& abortFlag) override;

    // False when the file cannot be read whole or `abortFlag` is raised meanwhile.
    static bool calculateHash(const std::string& path, std::string& hash, const std::atomic<bool>& abortFlag);

private:
    std::string m_relativePath;
    std::string m_fullPath;
};

}  // namespace VantisClient
