// The user's authentication ended: signed out, or lost because it became invalid.
#pragma once

#include <cstdint>

#include "core/ClientNotification.h"

namespace VantisClient {

class AuthLostNotification : public ClientNotification {
public:
    static constexpr int32_t KIND_SIGNED_OUT = 0;
    static constexpr int32_t KIND_AUTH_LOST = 1;

    explicit AuthLostNotification(int32_t kind);

    // Kind 0: onSignedOut(); kind 1: onAuthLost(); any other kind: nothing.
    void dispatchToClient(IClientListener* listener) override;

private:
    int32_t m_kind;
};

}  // namespace VantisClient
