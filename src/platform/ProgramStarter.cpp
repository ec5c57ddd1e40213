#include "platform/ProgramStarter.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace VantisClient {
namespace {

// The lowest descriptor the child does not keep: 0, 1 and 2 are its own.
const int FIRST_CLOSED_DESCRIPTOR = STDERR_FILENO + 1;

std::string nameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

bool isReplaced(const std::string& entry, const std::vector<std::string>& added) {
    const std::string name = nameOf(entry);
    for (const std::string& each : added) {
        if (nameOf(each) == name) return true;
    }
    return false;
}

std::vector<std::string> childEnvironment(const std::vector<std::string>& added) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!isReplaced(*entry, added)) entries.emplace_back(*entry);
    }
    entries.insert(entries.end(), added.begin(), added.end());
    return entries;
}

// The texts as a null-terminated array that lives as long as the texts.
std::vector<char*> pointersTo(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// A program's argv and envp, living as long as this value.
class ProgramTexts {
public:
    ProgramTexts(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& addedEnvironment)
        : m_arguments(withProgram(program, arguments)),
          m_environment(childEnvironment(addedEnvironment)),
          m_argv(pointersTo(m_arguments)),
          m_envp(pointersTo(m_environment)) {}
    ProgramTexts(const ProgramTexts&) = delete;
    ProgramTexts& operator=(const ProgramTexts&) = delete;

    char* const* argv() const { return m_argv.data(); }
    char* const* envp() const { return m_envp.data(); }

private:
    static std::vector<std::string> withProgram(const std::string& program, const std::vector<std::string>& arguments) {
        std::vector<std::string> texts{program};
        texts.insert(texts.end(), arguments.begin(), arguments.end());
        return texts;
    }

    const std::vector<std::string> m_arguments;
    const std::vector<std::string> m_environment;
    const std::vector<char*> m_argv;
    const std::vector<char*> m_envp;
};

// posix_spawn's attributes and file actions for a clean start, released on every path out.
class CleanStart {
public:
    CleanStart() {
        posix_spawnattr_init(&m_attributes);
        posix_spawn_file_actions_init(&m_actions);
    }
    ~CleanStart() {
        posix_spawn_file_actions_destroy(&m_actions);
        posix_spawnattr_destroy(&m_attributes);
    }
    CleanStart(const CleanStart&) = delete;
    CleanStart& operator=(const CleanStart&) = delete;

    int configure(const std::string& workingDirectory, int standardOutput) {
        int error = configureSignals();
        if (error == 0) error = posix_spawnattr_setpgroup(&m_attributes, 0);
        if (error == 0) {
            error = posix_spawnattr_setflags(&m_attributes,
                                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        }
        if (error == 0 && !workingDirectory.empty()) {
            error = posix_spawn_file_actions_addchdir_np(&m_actions, workingDirectory.c_str());
        }
        if (error == 0 && standardOutput >= 0) {
            error = posix_spawn_file_actions_adddup2(&m_actions, standardOutput, STDOUT_FILENO);
        }
        // The C library falls back to walking /proc/self/fd where the kernel cannot close a range.
        if (error == 0) error = posix_spawn_file_actions_addclosefrom_np(&m_actions, FIRST_CLOSED_DESCRIPTOR);
        return error;
    }
    const posix_spawnattr_t* attributes() const { return &m_attributes; }
    const posix_spawn_file_actions_t* actions() const { return &m_actions; }

private:
    // The client blocks SIGINT and SIGTERM for its watcher thread and may
    // ignore others; a child would keep both across exec and could not be
    // stopped with a plain kill.
    int configureSignals() {
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        const int error = posix_spawnattr_setsigmask(&m_attributes, &none);
        return error != 0 ? error : posix_spawnattr_setsigdefault(&m_attributes, &all);
    }

    posix_spawnattr_t m_attributes;
    posix_spawn_file_actions_t m_actions;
};

void markCloseOnExecFrom(int first) {
    if (::close_range(static_cast<unsigned>(first), ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
    // Kernels before 5.11 cannot mark a range.
    DIR* directory = ::opendir("/proc/self/fd");
    if (directory == nullptr) return;
    while (const dirent* entry = ::readdir(directory)) {
        const int descriptor = std::atoi(entry->d_name);
        if (descriptor >= first && descriptor != ::dirfd(directory)) ProgramStarter::KeepFromChildren(descriptor);
    }
    ::closedir(directory);
}

// Every signal unblocked and at its default action while it lives, as a
// spawned child gets them; what the client had comes back should an exec fail.
class DefaultSignals {
public:
    DefaultSignals() {
        sigset_t none;
        sigemptyset(&none);
        pthread_sigmask(SIG_SETMASK, &none, &m_mask);
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        for (int signal = 1; signal < NSIG; ++signal) m_changed[signal] = ::sigaction(signal, &byDefault, &m_actions[signal]) == 0;
    }
    ~DefaultSignals() {
        for (int signal = 1; signal < NSIG; ++signal) {
            if (m_changed[signal]) ::sigaction(signal, &m_actions[signal], nullptr);
        }
        pthread_sigmask(SIG_SETMASK, &m_mask, nullptr);
    }
    DefaultSignals(const DefaultSignals&) = delete;
    DefaultSignals& operator=(const DefaultSignals&) = delete;

private:
    sigset_t m_mask{};
    std::array<struct sigaction, NSIG> m_actions{};
    std::array<bool, NSIG> m_changed{};
};

// What `descriptor` gives until its end, within the time and size allowed.
bool readUntilEnd(int descriptor, int timeoutMs, size_t limit, std::string& output, std::string& error) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::array<char, 4096> buffer{};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{descriptor, POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&readable, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            error = ready == 0 ? "it did not end within " + std::to_string(timeoutMs) + " ms" : std::strerror(errno);
            return false;
        }
        const ssize_t count = ::read(descriptor, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) continue;
        if (count == 0) return true;
        if (count < 0 || output.size() + static_cast<size_t>(count) > limit) {
            error = count < 0 ? std::strerror(errno) : "it wrote more than " + std::to_string(limit) + " bytes";
            return false;
        }
        output.append(buffer.data(), static_cast<size_t>(count));
    }
}

// The child's wait status, once it has ended.
int waitForEnd(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

}  // namespace

int ProgramStarter::Start(const Request& request, pid_t& pid) {
    CleanStart start;
    const int error = start.configure(request.workingDirectory, request.standardOutput);
    if (error != 0) return error;
    const ProgramTexts texts(request.program, request.arguments, request.addedEnvironment);
    const bool searchPath = request.program.find('/') == std::string::npos;
    return searchPath ? posix_spawnp(&pid, texts.argv()[0], start.actions(), start.attributes(), texts.argv(), texts.envp())
                      : posix_spawn(&pid, texts.argv()[0], start.actions(), start.attributes(), texts.argv(), texts.envp());
}

int ProgramStarter::Replace(const std::string& program, const std::vector<std::string>& arguments,
                            const std::vector<std::string>& addedEnvironment) {
    const ProgramTexts texts(program, arguments, addedEnvironment);
    // Marked rather than closed, so that the client still has them should the exec fail.
    markCloseOnExecFrom(FIRST_CLOSED_DESCRIPTOR);
    const DefaultSignals defaults;
    ::execve(texts.argv()[0], texts.argv(), texts.envp());
    return errno;
}

bool ProgramStarter::Capture(const Request& request, int timeoutMs, size_t limit, std::string& output,
                             std::string& error) {
    std::array<int, 2> pipe{};
    if (::pipe2(pipe.data(), O_CLOEXEC) != 0) {
        error = std::string("no pipe: ") + std::strerror(errno);
        return false;
    }
    Request writingToPipe = request;
    writingToPipe.standardOutput = pipe[1];
    pid_t pid = 0;
    const int started = Start(writingToPipe, pid);
    ::close(pipe[1]);
    if (started != 0) {
        ::close(pipe[0]);
        error = std::strerror(started);
        return false;
    }
    const bool read = readUntilEnd(pipe[0], timeoutMs, limit, output, error);
    ::close(pipe[0]);
    if (!read) ::kill(pid, SIGKILL);
    const int status = waitForEnd(pid);
    if (!read) return false;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    error = "it ended with status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return false;
}

void ProgramStarter::KeepFromChildren(int descriptor) {
    const int flags = ::fcntl(descriptor, F_GETFD);
    if (flags >= 0) ::fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC);
}

}  // namespace VantisClient
