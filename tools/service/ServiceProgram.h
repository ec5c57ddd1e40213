// The service's life: refuses root unless allowed, waits for the trigger file,
// listens while it exists, restarts the listener when it is touched, and stops
// when it is removed or on SIGTERM or SIGINT.
// Thread-safety: run() on the main thread, which must block SIGTERM and SIGINT
// before any other thread exists (StopSignals::Block).
#pragma once

#include <signal.h>

#include "service/ServiceListener.h"
#include "service/ServiceOptions.h"
#include "service/TriggerWatcher.h"

namespace VantisClient {
namespace Service {

class ServiceProgram {
public:
    static constexpr int EXIT_OK = 0;
    static constexpr int EXIT_FAILED = 1;

    // Leaves SIGTERM and SIGINT to the control loop; inherited by every thread made afterwards.

    explicit ServiceProgram(const ServiceOptions& options);
    // The process's exit code.
    int run();

private:
    enum EStep { KEEP_RUNNING, STOP, FAIL };

    // Waits for the next signal or change of the trigger file and acts on it.
    EStep waitForChange(int signals, TriggerWatcher& watcher, ServiceListener& listener);
    EStep startListening(ServiceListener& listener);

    ServiceOptions m_options;
};

}  // namespace Service
}  // namespace VantisClient
