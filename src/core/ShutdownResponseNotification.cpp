#include "core/ShutdownResponseNotification.h"

namespace VantisClient {

void ShutdownResponseNotification::dispatchToClient(IClientListener* listener) { listener->onShutdownRequest(); }

}  // namespace VantisClient
