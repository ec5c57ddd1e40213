#include "net/HostProvider.h"

#include "common/Constants.h"
#include "common/Logger.h"
#include "common/ScopedLock.h"

namespace VantisClient {
namespace Http {
namespace {

const char* const ENDPOINTS_CHANNEL = "Endpoints";
// Game cards are web pages: on this platform they come from the web host.
const char* const GAMECARD_PATH = "/gameview/dist/";

}  // namespace

VantisMutex HostProvider::sm_mutex;
HostProvider* HostProvider::sm_instance = nullptr;

HostProvider::HostProvider() : m_configHost(API_STATUS_ENDPOINT_HOST_PRODUCTION) {
    Logger::LogInfo("HostProvider created.");
}

HostProvider* HostProvider::Instance() {
    ScopedLock lock(sm_mutex);
    if (sm_instance == nullptr) sm_instance = new HostProvider();
    return sm_instance;
}

void HostProvider::Reset() {
    HostProvider* provider = Instance();
    ScopedLock lock(sm_mutex);
    provider->m_hosts.clear();
    provider->m_configHost = API_STATUS_ENDPOINT_HOST_PRODUCTION;
}

void HostProvider::setHost(const std::string& key, const std::string& host) {
    ScopedLock lock(sm_mutex);
    Logger::LogChannelInfo(ENDPOINTS_CHANNEL, "Setting endpoint %s: %s", key.c_str(), host.c_str());
    m_hosts[key] = host;
}

std::string HostProvider::getAuthHost() { return hostOr("auth", API_HOST); }

std::string HostProvider::getUsersHost() { return hostOr("users", API_HOST); }

std::string HostProvider::getProductsHost() { return hostOr("products", API_HOST); }

std::string HostProvider::getGamecardHost() { return hostOr("gamecards", std::string(WEB_HOST) + GAMECARD_PATH); }

void HostProvider::setConfigHost(const std::string& host) {
    ScopedLock lock(sm_mutex);
    m_configHost = host;
}

std::string HostProvider::getConfigHost() {
    ScopedLock lock(sm_mutex);
    return m_configHost;
}

std::string HostProvider::hostOr(const std::string& key, const std::string& fallback) {
    ScopedLock lock(sm_mutex);
    auto found = m_hosts.find(key);
    return found == m_hosts.end() ? fallback : found->second;
}

}  // namespace Http
}  // namespace VantisClient
