// What vantis-client says about itself: the help with every option, the exit
// statuses and where the log is, and the version with its build. The manual
// page (man/vantis-client.1) says the same; a test holds the two together.
// Thread-safety: stateless.
#pragma once

#include <string>

namespace VantisClient {

class CliHelp {
public:
    // `logFile` and `supportRoot` (where the settings are) are those of the user who asks.
    static std::string Text(const std::string& logFile, const std::string& supportRoot);
    static std::string Version();
};

}  // namespace VantisClient
