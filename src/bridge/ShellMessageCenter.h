// The process's in-process notification centre for shell messages: the
// controller and the page bridges post, the one running shell observes.
// Messages posted while no shell observes are dropped (a line on the "Shell" channel says so),
// as the engine may report before a shell has subscribed or after it left.
// Thread-safety: Post may be called from any thread; the observer is called on
// the posting thread, one message at a time. SetObserver waits for a delivery
// in progress, so an observer that has been removed is never called again; an
// observer must not call SetObserver from onShellMessage.
#pragma once

#include "bridge/IShellMessageObserver.h"
#include "bridge/ShellMessage.h"

namespace VantisClient {

class ShellMessageCenter {
public:
    static void Post(const ShellMessage& message);
    // Null removes the observer.
    static void SetObserver(IShellMessageObserver* observer);
    // No observer; for tests.
    static void Reset();
};

}  // namespace VantisClient
