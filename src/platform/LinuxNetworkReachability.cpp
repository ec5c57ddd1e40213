#include "platform/LinuxNetworkReachability.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace VantisClient {
namespace {

const unsigned long ROUTE_FLAG_UP = 0x1;
const unsigned long INTERFACE_FLAG_UP = 0x1;

}  // namespace

LinuxNetworkReachability::LinuxNetworkReachability(std::string routeTablePath, std::string interfacesPath)
    : m_routeTablePath(std::move(routeTablePath)), m_interfacesPath(std::move(interfacesPath)) {}

bool LinuxNetworkReachability::isInternetReachable() {
    if (const char* forced = std::getenv("VANTIS_ONLINE")) {
        if (std::string(forced) == "1") return true;
        if (std::string(forced) == "0") return false;
    }
    std::ifstream routes(m_routeTablePath);
    std::string line;
    std::getline(routes, line);  // column headings
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string interfaceName, destination, gateway, flags;
        if (!(fields >> interfaceName >> destination >> gateway >> flags)) continue;
        if (destination != "00000000" || interfaceName == "lo") continue;
        if ((std::strtoul(flags.c_str(), nullptr, 16) & ROUTE_FLAG_UP) == 0) continue;
        if (interfaceIsUp(interfaceName)) return true;
    }
    return false;
}

bool LinuxNetworkReachability::interfaceIsUp(const std::string& name) const {
    std::ifstream flagsFile(m_interfacesPath + "/" + name + "/flags");
    std::string flags;
    if (!(flagsFile >> flags)) return false;
    return (std::strtoul(flags.c_str(), nullptr, 16) & INTERFACE_FLAG_UP) != 0;
}

}  // namespace VantisClient
