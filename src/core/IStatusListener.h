// What the shell hears about the engine's own state and the backend's status.
// Called only inside ClientCore::serviceCalls(), on the thread that calls it.
#pragma once

#include "net/APIStatusResult.h"
#include "core/InitializationData.h"

namespace VantisClient {

class IStatusListener {
public:
    virtual ~IStatusListener() = default;
    virtual void onCoreInitialized(const InitializationData& data) = 0;
    // The engine has stopped its installs; the shell may now call ClientCore::Shutdown().
    virtual void onShutdownRequest() = 0;
    virtual void onAPIStatusChanged(APIStatusResult result) = 0;
};

}  // namespace VantisClient
