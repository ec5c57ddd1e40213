// A result on its way from the engine's threads to the shell. Producers fill a
// notification with copies or shared pointers and queue it; the shell's drain
// of the queue dispatches each one once, in queue order.
// Thread-safety: created on any thread; dispatched on the draining thread only.
#pragma once

#include <Poco/AutoPtr.h>
#include <Poco/Notification.h>

#include "core/IClientListener.h"

namespace VantisClient {

class ClientNotification : public Poco::Notification {
public:
    using Ptr = Poco::AutoPtr<ClientNotification>;

    // Calls at most one operation of the listener.
    virtual void dispatchToClient(IClientListener* listener) = 0;

protected:
    ~ClientNotification() override = default;
};

}  // namespace VantisClient
