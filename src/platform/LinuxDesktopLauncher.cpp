#include "platform/LinuxDesktopLauncher.h"

#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "platform/LinuxLaunchedProgram.h"
#include "platform/ProgramStarter.h"

namespace VantisClient {

LinuxDesktopLauncher::LinuxDesktopLauncher(std::string opener) : m_opener(std::move(opener)) {}

ILaunchedProgram::Ptr LinuxDesktopLauncher::launch(const std::string& path, const std::vector<std::string>& arguments,
                                                   const std::string& workingDirectory,
                                                   const std::vector<std::string>& addedEnvironment,
                                                   std::string& error) {
    pid_t pid = 0;
    const int result = ProgramStarter::Start({path, arguments, workingDirectory, addedEnvironment}, pid);
    if (result != 0) {
        error = std::strerror(result);
        return nullptr;
    }
    return std::make_shared<LinuxLaunchedProgram>(pid);
}

bool LinuxDesktopLauncher::open(const std::string& target, std::string& error) {
    pid_t pid = 0;
    const int result = ProgramStarter::Start({m_opener, {target}, std::string(), {}}, pid);
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
