#include "core/CheckForManifestUpdateNotification.h"

namespace VantisClient {

CheckForManifestUpdateNotification::CheckForManifestUpdateNotification(EManifestUpdateCode code,
                                                                       const std::string& gameId)
    : m_code(code), m_gameId(gameId) {}

void CheckForManifestUpdateNotification::dispatchToClient(IClientListener* listener) {
    listener->onManifestUpdateCheckResults(m_code, m_gameId);
}

}  // namespace VantisClient
