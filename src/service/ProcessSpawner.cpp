#include "service/ProcessSpawner.h"

#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include <Poco/Error.h>
#include <Poco/Path.h>

#include "common/Logger.h"
#include "platform/ProgramStarter.h"

namespace VantisClient {
namespace {

// How often the abort signal is looked at while the program runs.
const std::chrono::milliseconds POLL_INTERVAL(20);

std::string directoryOf(const std::string& executable) {
    std::string directory = Poco::Path(executable).parent().toString();
    return directory.empty() ? std::string(".") : directory;
}

}  // namespace

ProcessSpawner::ProcessSpawner(std::string executable, std::vector<std::string> arguments, AbortSignal::Ptr abortSignal)
    : m_abortSignal(std::move(abortSignal)), m_executable(std::move(executable)), m_arguments(std::move(arguments)) {}

bool ProcessSpawner::spawnElevated() {
    if (m_abortSignal && m_abortSignal->isRaised()) return false;
    pid_t child = 0;
    if (!start(child)) return false;
    m_started = true;
    return waitForExit(child);
}

bool ProcessSpawner::start(pid_t& child) {
    const int error = ProgramStarter::Start({m_executable, m_arguments, directoryOf(m_executable), {}}, child);
    if (error != 0) {
        Logger::LogError("Failed to start %s: %s", m_executable.c_str(), Poco::Error::getMessage(error).c_str());
        return false;
    }
    return true;
}

bool ProcessSpawner::waitForExit(pid_t child) {
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) {
            recordStatus(status);
            return true;
        }
        if (ended < 0 && errno != EINTR) {
            Logger::LogError("Lost the process of %s: %s", m_executable.c_str(),
                             Poco::Error::getMessage(errno).c_str());
            return false;
        }
        if (m_abortSignal && m_abortSignal->isRaised()) {
            terminate(child);
            return false;
        }
        std::this_thread::sleep_for(POLL_INTERVAL);
    }
}

void ProcessSpawner::terminate(pid_t child) {
    Logger::LogInfo("Aborting %s", m_executable.c_str());
    ::kill(-child, SIGTERM);
    const auto killDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TERMINATION_GRACE_MS);
    bool killed = false;
    while (!hasExited(child)) {
        if (!killed && std::chrono::steady_clock::now() >= killDeadline) {
            ::kill(-child, SIGKILL);
            killed = true;
        }
        std::this_thread::sleep_for(POLL_INTERVAL);
    }
    // Not reaped yet, so the group's id cannot have passed to anyone else:
    // helpers that outlived the program go with it.
    ::kill(-child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    recordStatus(status);
}

bool ProcessSpawner::hasExited(pid_t child) {
    siginfo_t info = {};
    if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return errno != EINTR;
    return info.si_pid == child;
}

void ProcessSpawner::recordStatus(int status) {
    if (WIFEXITED(status)) {
        m_result = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        m_result = 128 + WTERMSIG(status);
    }
}

}  // namespace VantisClient
