#include "platform/LinuxDesktopLauncher.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "platform/LinuxLaunchedProgram.h"

extern char** environ;

namespace VantisClient {
namespace {

// posix_spawnp when the program is a bare name, so the opener is found on PATH.
int spawn(pid_t& pid, const std::string& path, const std::vector<std::string>& arguments,
          const std::string& workingDirectory) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    // A game of its own process group: a terminal's Ctrl-C for the client does
    // not end the game with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const bool searchPath = path.find('/') == std::string::npos;
    const int result = searchPath ? posix_spawnp(&pid, path.c_str(), &actions, &attributes, argv.data(), environ)
                                  : posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

}  // namespace

LinuxDesktopLauncher::LinuxDesktopLauncher(std::string opener) : m_opener(std::move(opener)) {}

ILaunchedProgram::Ptr LinuxDesktopLauncher::launch(const std::string& path, const std::vector<std::string>& arguments,
                                                   const std::string& workingDirectory, std::string& error) {
    pid_t pid = 0;
    const int result = spawn(pid, path, arguments, workingDirectory);
    if (result != 0) {
        error = std::strerror(result);
        return nullptr;
    }
    return std::make_shared<LinuxLaunchedProgram>(pid);
}

bool LinuxDesktopLauncher::open(const std::string& target, std::string& error) {
    pid_t pid = 0;
    const int result = spawn(pid, m_opener, {target}, std::string());
    if (result != 0) {
        error = m_opener + ": " + std::strerror(result);
        return false;
    }
    // The opener hands the target to the desktop and ends; its status tells
    // whether the desktop took it.
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    error = m_opener + " failed for the target";
    return false;
}

}  // namespace VantisClient
