// The engine's start-up group has run; the data tells whether the selected game is usable.
#pragma once

#include "core/ClientNotification.h"
#include "core/InitializationData.h"

namespace VantisClient {

class CoreInitializedNotification : public ClientNotification {
public:
    explicit CoreInitializedNotification(const InitializationData& data);

    // onCoreInitialized(data).
    void dispatchToClient(IClientListener* listener) override;

private:
    InitializationData m_data;
};

}  // namespace VantisClient
