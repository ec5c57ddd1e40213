// Internet reachability on Linux: a default route that leaves through a
// non-loopback interface that is up. VANTIS_ONLINE=0 or 1 forces the answer.
#pragma once

#include <string>

#include "platform/INetworkReachability.h"

namespace VantisClient {

class LinuxNetworkReachability : public INetworkReachability {
public:
    // The route table and the interface-flags directory are injectable so the
    // parsing can be exercised on prepared files.
    explicit LinuxNetworkReachability(std::string routeTablePath = "/proc/net/route",
                                      std::string interfacesPath = "/sys/class/net");
    bool isInternetReachable() override;

private:
    bool interfaceIsUp(const std::string& name) const;

    std::string m_routeTablePath;
    std::string m_interfacesPath;
};

}  // namespace VantisClient
