// The backend hosts the client talks to: built-in defaults (the local store
// backend unless the build says otherwise) that the client configuration file
// may override at run time, and the configuration host that names that file
// (the production one unless the environment overrides it at start). A host
// value may carry ":port".
// Thread-safety: every operation may be called from any thread.
#pragma once

#include <map>
#include <string>

#include "common/VantisMutex.h"

namespace VantisClient {
namespace Http {

class HostProvider {
public:
    static HostProvider* Instance();
    // Forgets every override, the configuration host's too. For tests.
    static void Reset();

    // Replaces the host stored under `key` ("auth", "users", "products",
    // "gamecards"; other keys are stored but never read).
    void setHost(const std::string& key, const std::string& host);
    std::string getAuthHost();
    std::string getUsersHost();
    std::string getProductsHost();
    // A host and path prefix for game card pages, not a bare host.
    std::string getGamecardHost();
    // Where the client configuration file is fetched from.
    void setConfigHost(const std::string& host);
    std::string getConfigHost();

private:
    HostProvider();
    std::string hostOr(const std::string& key, const std::string& fallback);

    static VantisMutex sm_mutex;
    static HostProvider* sm_instance;
    std::map<std::string, std::string> m_hosts;
    std::string m_configHost;
};

}  // namespace Http
}  // namespace VantisClient
