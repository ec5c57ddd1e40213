// A child process started by the desktop launcher, reaped when it ends.
#pragma once

#include <sys/types.h>

#include <mutex>

#include "platform/ILaunchedProgram.h"

namespace VantisClient {

class LinuxLaunchedProgram : public ILaunchedProgram {
public:
    explicit LinuxLaunchedProgram(pid_t pid) : m_pid(pid) {}
    int processId() const override { return m_pid; }
    bool hasEnded() override;
    void waitForEnd() override;
    int exitStatus() const override;

private:
    // Reaps the child with `options` for waitpid; true once it has ended.
    bool reap(int options);

    const pid_t m_pid;
    mutable std::mutex m_mutex;
    bool m_ended = false;
    int m_exitStatus = -1;
};

}  // namespace VantisClient
