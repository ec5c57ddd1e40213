#include "platform/ProgramStarter.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

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

    int configure(const std::string& workingDirectory) {
        int error = configureSignals();
        if (error == 0) error = posix_spawnattr_setpgroup(&m_attributes, 0);
        if (error == 0) {
            error = posix_spawnattr_setflags(&m_attributes,
                                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        }
        if (error == 0 && !workingDirectory.empty()) {
            error = posix_spawn_file_actions_addchdir_np(&m_actions, workingDirectory.c_str());
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

}  // namespace

int ProgramStarter::Start(const Request& request, pid_t& pid) {
    CleanStart start;
    const int error = start.configure(request.workingDirectory);
    if (error != 0) return error;
    std::vector<std::string> argumentTexts{request.program};
    argumentTexts.insert(argumentTexts.end(), request.arguments.begin(), request.arguments.end());
    const std::vector<char*> argv = pointersTo(argumentTexts);
    const std::vector<std::string> environmentTexts = childEnvironment(request.addedEnvironment);
    const std::vector<char*> envp = pointersTo(environmentTexts);
    const bool searchPath = request.program.find('/') == std::string::npos;
    return searchPath ? posix_spawnp(&pid, argv[0], start.actions(), start.attributes(), argv.data(), envp.data())
                      : posix_spawn(&pid, argv[0], start.actions(), start.attributes(), argv.data(), envp.data());
}

void ProgramStarter::KeepFromChildren(int descriptor) {
    const int flags = ::fcntl(descriptor, F_GETFD);
    if (flags >= 0) ::fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC);
}

}  // namespace VantisClient
