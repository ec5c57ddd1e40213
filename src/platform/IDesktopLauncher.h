// Starting programs and opening addresses and files for the user. Programs are
// started as ProgramStarter starts them: directly, each argument its own argv
// element, never through a shell, and with nothing of the client's but its
// environment (without its secrets) and the standard descriptors.
// Thread-safety: implementations are safe to call from any thread.
#pragma once

#include <string>
#include <vector>

#include "platform/ILaunchedProgram.h"

namespace VantisClient {

class IDesktopLauncher {
public:
    virtual ~IDesktopLauncher() = default;
    // Starts the program at `path` in `workingDirectory`, with the "NAME=value"
    // entries of `addedEnvironment` in its environment; null, with `error` set
    // to the system's reason, when it cannot be started.
    virtual ILaunchedProgram::Ptr launch(const std::string& path, const std::vector<std::string>& arguments,
                                         const std::string& workingDirectory,
                                         const std::vector<std::string>& addedEnvironment, std::string& error) = 0;
    // Opens an address or a file with the desktop's default application; false,
    // with `error` set, when the desktop could not be asked or refused.
    virtual bool open(const std::string& target, std::string& error) = 0;
};

}  // namespace VantisClient
