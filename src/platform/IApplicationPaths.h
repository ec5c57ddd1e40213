// Where the client keeps its data and where it was installed.
// Thread-safety: implementations are safe to call from any thread.
#pragma once

#include <string>

namespace VantisClient {

class IApplicationPaths {
public:
    virtual ~IApplicationPaths() = default;
    // The application-support root; created (owner-only) when missing.
    virtual std::string applicationSupportRoot() = 0;
    // The install prefix: the directory that holds bin/, share/ and libexec/.
    virtual std::string bundleDirectory() = 0;
    // The short login name of the account the client runs as (UTF-8); stored
    // credentials are kept per account under it.
    virtual std::string accountName() = 0;
};

}  // namespace VantisClient
