#include "core/DeferredCallNotification.h"

namespace VantisClient {

void DeferredCallNotification::dispatchToClient(IClientListener*) {
    if (m_call) m_call();
}

}  // namespace VantisClient
