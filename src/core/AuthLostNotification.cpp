#include "core/AuthLostNotification.h"

namespace VantisClient {

AuthLostNotification::AuthLostNotification(int32_t kind) : m_kind(kind) {}

void AuthLostNotification::dispatchToClient(IClientListener* listener) {
    if (m_kind == KIND_SIGNED_OUT) {
        listener->onSignedOut();
    } else if (m_kind == KIND_AUTH_LOST) {
        listener->onAuthLost();
    }
}

}  // namespace VantisClient
