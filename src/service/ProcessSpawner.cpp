#include "service/ProcessSpawner.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include <Poco/Error.h>
#include <Poco/Path.h>

#include "common/Logger.h"

extern char** environ;

namespace VantisClient {
namespace {

// How often the abort signal is looked at while the program runs.
const std::chrono::milliseconds POLL_INTERVAL(20);

std::string directoryOf(const std::string& executable) {
    std::string directory = Poco::Path(executable).parent().toString();
    return directory.empty() ? std::string(".") : directory;
}

// posix_spawn's attributes and file actions, released on every path out.
class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawnattr_init(&m_attributes);
        posix_spawn_file_actions_init(&m_actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&m_actions);
        posix_spawnattr_destroy(&m_attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // A group of its own lets an abort end the program's helpers too.
    int configure(const std::string& workingDirectory) {
        int error = posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETPGROUP);
        if (error == 0) error = posix_spawnattr_setpgroup(&m_attributes, 0);
        if (error == 0) error = posix_spawn_file_actions_addchdir_np(&m_actions, workingDirectory.c_str());
        return error;
    }
    const posix_spawnattr_t* attributes() const { return &m_attributes; }
    const posix_spawn_file_actions_t* actions() const { return &m_actions; }

private:
    posix_spawnattr_t m_attributes;
    posix_spawn_file_actions_t m_actions;
};

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
    // argv[0] is the executable; the arguments follow untouched, never through a shell.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(m_executable.c_str()));
    for (std::string& argument : m_arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);

    SpawnSetup setup;
    int error = setup.configure(directoryOf(m_executable));
    if (error == 0) {
        error = posix_spawn(&child, m_executable.c_str(), setup.actions(), setup.attributes(), argv.data(), environ);
    }
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
