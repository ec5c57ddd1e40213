// One piece of background work of the install pipeline, run by an
// OperationsManager worker.
// Thread-safety: doWork runs on one worker thread; `abortFlag` is set from another
// thread, and an operation looks at it while it works and returns early.
#pragma once

#include <atomic>

#include "install/OperationFeedback.h"

namespace VantisClient {

class Operation {
public:
    virtual ~Operation() = default;
    // The caller owns the result.
    virtual OperationFeedback* doWork(const std::atomic<bool>& abortFlag) = 0;
};

}  // namespace VantisClient
