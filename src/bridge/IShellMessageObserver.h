// The shell's side of the shell messages. Each shell implements it and
// performs the messages on its own main thread.
#pragma once

#include "bridge/ShellMessage.h"

namespace VantisClient {

class IShellMessageObserver {
public:
    virtual ~IShellMessageObserver() = default;
    // Called on the posting thread (the drain thread or the main thread); the
    // shell hands the message over to its main thread and returns.
    virtual void onShellMessage(const ShellMessage& message) = 0;
};

}  // namespace VantisClient
