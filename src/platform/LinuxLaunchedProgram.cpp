#include "platform/LinuxLaunchedProgram.h"

#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace VantisClient {
namespace {

int shellStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

bool LinuxLaunchedProgram::hasEnded() { return reap(WNOHANG); }

void LinuxLaunchedProgram::waitForEnd() {
    // Polling keeps the lock short, so that hasEnded() from another thread
    // never waits for the whole life of the game.
    while (!reap(WNOHANG)) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

bool LinuxLaunchedProgram::reap(int options) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_ended) return true;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(m_pid, &status, options);
    } while (result < 0 && errno == EINTR);
    // A child that is not ours any more (reaped elsewhere) has ended as well.
    m_ended = result == m_pid || (result < 0 && errno == ECHILD);
    if (result == m_pid) m_exitStatus = shellStatus(status);
    return m_ended;
}

int LinuxLaunchedProgram::exitStatus() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exitStatus;
}

}  // namespace VantisClient
