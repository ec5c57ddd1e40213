// The signals that ask a program of the family to stop (SIGINT, SIGTERM).
// Programs block them in main before any thread starts, so that every thread
// inherits the mask and one thread takes them with sigwait or sigtimedwait.
// The programs the client starts get them unblocked again (ProgramStarter).
// Thread-safety: stateless.
#pragma once

#include <signal.h>

namespace VantisClient {

class StopSignals {
public:
    static sigset_t Set();
    // Blocks them on the calling thread (and the threads it starts later).
    static void Block();
};

}  // namespace VantisClient
