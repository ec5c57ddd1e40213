// The shell-side receiver of everything the engine reports. The engine never
// calls it from its own threads: every operation runs inside
// ClientCore::serviceCalls(), on the thread that drains the notifications.
// The exceptions are getCurrentGameId() and getCurrentGameLocalPath(), which
// the engine also asks at start and when its start-up group has run, on the
// short subsystem's thread: they must be safe to call from any thread.
#pragma once

#include <string>

#include "core/IAuthListener.h"
#include "core/IInstallationListener.h"
#include "core/IStatusListener.h"

namespace VantisClient {

class IClientListener : public IAuthListener, public IInstallationListener, public IStatusListener {
public:
    ~IClientListener() override = default;
    virtual std::string getCurrentGameId() const = 0;
    virtual std::string getCurrentGameLocalPath() const = 0;
};

}  // namespace VantisClient
