#include "common/StopSignals.h"

#include <pthread.h>

namespace VantisClient {

sigset_t StopSignals::Set() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

void StopSignals::Block() {
    const sigset_t signals = Set();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

}  // namespace VantisClient
