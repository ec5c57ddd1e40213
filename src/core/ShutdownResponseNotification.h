// The engine has stopped its installer after a shutdown request.
#pragma once

#include "core/ClientNotification.h"

namespace VantisClient {

class ShutdownResponseNotification : public ClientNotification {
public:
    // onShutdownRequest().
    void dispatchToClient(IClientListener* listener) override;
};

}  // namespace VantisClient
