// Runs one program of the install pipeline (a support installer) to its end:
// the executable is started as ProgramStarter starts every program (directly,
// each argument as its own argv element, in a process group of its own, clean
// of the client's signal mask and descriptors), in the executable's directory,
// under the client's own account. The spawner waits for it, and when the abort
// signal is raised it ends the whole group: SIGTERM first, SIGKILL after a
// grace period.
//
// Thread-safety: spawnElevated() runs on the task's thread; the abort signal
// may be raised from any thread; hasStarted() and getResult() may be read from
// any thread.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/AbortSignal.h"

namespace VantisClient {

class ProcessSpawner {
public:
    static constexpr long TERMINATION_GRACE_MS = 2000;

    ProcessSpawner(std::string executable, std::vector<std::string> arguments, AbortSignal::Ptr abortSignal);

    // Starts the program and waits for it. True when it ran to its own end,
    // whatever its exit status; false when it could not be started or was
    // ended because of the abort signal (raised before the start, nothing runs).
    bool spawnElevated();
    bool hasStarted() const { return m_started; }
    // -1 until the program has ended; then its exit status, or 128 plus the
    // number of the signal that ended it.
    int32_t getResult() const { return m_result; }

private:
    bool start(pid_t& child);
    // Waits for the child, ending it when the abort signal rises; true when
    // it ended by itself.
    bool waitForExit(pid_t child);
    void terminate(pid_t child);
    // True once the child has ended (or is gone), without reaping it.
    static bool hasExited(pid_t child);
    void recordStatus(int status);

    AbortSignal::Ptr m_abortSignal;
    std::string m_executable;
    std::vector<std::string> m_arguments;
    std::atomic<int32_t> m_result{-1};
    std::atomic<bool> m_started{false};
};

}  // namespace VantisClient
