#include "install/CalculateHashFeedback.h"

#include "common/Utilities.h"

namespace VantisClient {

const char* const CalculateHashFeedback::TYPE_NAME = "CalculateHashFeedback";

uint64_t CalculateHashFeedback::TypeId() {
    static const uint64_t typeId = Utilities::Hash64bit(TYPE_NAME);
    return typeId;
}

CalculateHashFeedback::CalculateHashFeedback(const std::string& relativePath) : m_relativePath(relativePath) {}

void CalculateHashFeedback::setHash(const std::string& hash) {
    m_hash = hash;
    setErrorCode(0);
}

}  // namespace VantisClient
