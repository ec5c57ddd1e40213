#include "backend/BackendContext.h"

namespace VantisClient {
namespace Backend {

BackendContext::BackendContext(const BackendOptions& settings)
    : options(settings),
      tokens(settings.tokenLifetime),
      links(settings.linkLifetime),
      reports(settings.reportsDirectory),
      controlToken(TokenStore::RandomToken()),
      m_status(settings.status) {}

std::string BackendContext::apiAuthority() const {
    return "127.0.0.1:" + std::to_string(apiPort);
}

std::string BackendContext::webAuthority() const {
    return "127.0.0.1:" + std::to_string(webPort);
}

std::string BackendContext::status() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_status;
}

void BackendContext::setStatus(const std::string& status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_status = status;
}

}  // namespace Backend
}  // namespace VantisClient
