// A program the client started for the user (a game), watched until it ends.
// Thread-safety: hasEnded() and waitForEnd() may be called from any thread;
// the program is reaped once, by whichever call sees it end first.
#pragma once

#include <memory>

namespace VantisClient {

class ILaunchedProgram {
public:
    using Ptr = std::shared_ptr<ILaunchedProgram>;

    virtual ~ILaunchedProgram() = default;
    virtual int processId() const = 0;
    virtual bool hasEnded() = 0;
    // Blocks until the program has ended.
    virtual void waitForEnd() = 0;
    // Once it has ended, its status as a shell reports it: the exit status, or
    // 128 plus the signal that ended it; -1 before, or when it was reaped
    // elsewhere and its status is lost.
    virtual int exitStatus() const = 0;
};

}  // namespace VantisClient
