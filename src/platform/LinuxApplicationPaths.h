// Application paths on Linux: $VANTIS_HOME or the XDG data directory for the
// root, $VANTIS_BUNDLE or the directory above the executable's bin/ for the
// bundle; the account is the effective user's entry in the password database.
#pragma once

#include "platform/IApplicationPaths.h"

namespace VantisClient {

class LinuxApplicationPaths : public IApplicationPaths {
public:
    std::string applicationSupportRoot() override;
    std::string bundleDirectory() override;
    std::string accountName() override;
};

}  // namespace VantisClient
