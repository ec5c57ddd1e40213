// Starts programs through ProgramStarter and opens addresses and files through
// "xdg-open", each as one argv element.
#pragma once

#include "platform/IDesktopLauncher.h"

namespace VantisClient {

class LinuxDesktopLauncher : public IDesktopLauncher {
public:
    // The opener is injectable so that tests can stand in for the desktop's.
    explicit LinuxDesktopLauncher(std::string opener = "xdg-open");

    ILaunchedProgram::Ptr launch(const std::string& path, const std::vector<std::string>& arguments,
                                 const std::string& workingDirectory, const std::vector<std::string>& addedEnvironment,
                                 std::string& error) override;
    bool open(const std::string& target, std::string& error) override;

private:
    std::string m_opener;
};

}  // namespace VantisClient
