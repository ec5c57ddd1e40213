#include "core/CoreInitializedNotification.h"

namespace VantisClient {

CoreInitializedNotification::CoreInitializedNotification(const InitializationData& data) : m_data(data) {}

void CoreInitializedNotification::dispatchToClient(IClientListener* listener) { listener->onCoreInitialized(m_data); }

}  // namespace VantisClient
