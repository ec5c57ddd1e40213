// The result of hashing one file: its relative path and, on success (error code
// 0), its MD5 as 32 lower-case hexadecimal digits.
// Thread-safety: as OperationFeedback.
#pragma once

#include <cstdint>
#include <string>

#include "install/OperationFeedback.h"

namespace VantisClient {

class CalculateHashFeedback : public OperationFeedback {
public:
    static const char* const TYPE_NAME;
    static uint64_t TypeId();

    explicit CalculateHashFeedback(const std::string& relativePath);

    uint64_t getId() const override { return TypeId(); }
    const std::string& getRelativePath() const { return m_relativePath; }
    // Empty unless the hashing succeeded.
    const std::string& getHash() const { return m_hash; }
    // Marks the result a success.
    void setHash(const std::string& hash);

private:
    std::string m_relativePath;
    std::string m_hash;
};

}  // namespace VantisClient
