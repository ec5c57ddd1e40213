// The result of one Operation: an error code (1 until the operation sets 0 on
// success) and the type id that tells the owner which handler takes it.
// Thread-safety: made by a worker, then handed over whole to the owner's thread.
#pragma once

#include <cstdint>

namespace VantisClient {

class OperationFeedback {
public:
    virtual ~OperationFeedback() = default;

    // The hash of the concrete result class's own name (Utilities::Hash64bit).
    virtual uint64_t getId() const = 0;

    int32_t getErrorCode() const { return m_errorCode; }
    void setErrorCode(int32_t errorCode) { m_errorCode = errorCode; }

private:
    int32_t m_errorCode = 1;
};

}  // namespace VantisClient
