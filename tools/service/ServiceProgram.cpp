#include "service/ServiceProgram.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <Poco/Error.h>

#include "common/ApplicationEnvironment.h"
#include "common/BuildInfo.h"
#include "common/FileDescriptor.h"
#include "common/StopSignals.h"
#include "service/RequestHandler.h"
#include "service/ServiceLog.h"

namespace VantisClient {
namespace Service {
namespace {

// A second look at the file now and then, in case an inotify event was lost.
const int RECHECK_INTERVAL_MS = 1000;

}  // namespace

ServiceProgram::ServiceProgram(const ServiceOptions& options) : m_options(options) {}

int ServiceProgram::run() {
    const uid_t owner = ::geteuid();
    if (owner == 0 && !m_options.allowRoot) {
        ServiceLog::Line("Refusing to run as root: the service serves the user who starts it (--allow-root overrides)");
        return EXIT_FAILED;
    }
    ServiceLog::Line("VantisService %s for uid %u, trigger file %s", BuildInfo::Version(), static_cast<unsigned>(owner),
                     m_options.triggerPath.c_str());
    const sigset_t signals = StopSignals::Set();
    const FileDescriptor signalFd(::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
    TriggerWatcher watcher(m_options.triggerPath);
    std::string error;
    if (!signalFd.isOpen() || !watcher.open(error)) {
        ServiceLog::Line("Cannot start: %s",
                         signalFd.isOpen() ? error.c_str() : Poco::Error::getMessage(errno).c_str());
        return EXIT_FAILED;
    }
    RequestHandler handler(owner, ApplicationEnvironment::GetApplicationSupportRootPath());
    ServiceListener listener(handler, m_options.port);
    EStep step = KEEP_RUNNING;
    if (watcher.exists()) {
        step = startListening(listener);
    } else {
        ServiceLog::Line("Waiting for the trigger file");
    }
    while (step == KEEP_RUNNING) step = waitForChange(signalFd.get(), watcher, listener);
    listener.shutdown();
    ServiceLog::Line("Stopped");
    return step == FAIL ? EXIT_FAILED : EXIT_OK;
}

ServiceProgram::EStep ServiceProgram::waitForChange(int signals, TriggerWatcher& watcher, ServiceListener& listener) {
    struct pollfd watched[2] = {{signals, POLLIN, 0}, {watcher.descriptor(), POLLIN, 0}};
    if (::poll(watched, 2, RECHECK_INTERVAL_MS) < 0 && errno != EINTR) return FAIL;
    struct signalfd_siginfo received;
    if (::read(signals, &received, sizeof(received)) == static_cast<ssize_t>(sizeof(received))) {
        ServiceLog::Line("Stopping on %s", received.ssi_signo == SIGTERM ? "SIGTERM" : "SIGINT");
        return STOP;
    }
    switch (watcher.check()) {
        case TriggerWatcher::APPEARED:
            return startListening(listener);
        case TriggerWatcher::TOUCHED:
            ServiceLog::Line("Trigger file touched: restarting the listener");
            listener.stop();
            return startListening(listener);
        case TriggerWatcher::REMOVED:
            ServiceLog::Line("Trigger file removed: stopping");
            return STOP;
        case TriggerWatcher::UNCHANGED:
            break;
    }
    return KEEP_RUNNING;
}

ServiceProgram::EStep ServiceProgram::startListening(ServiceListener& listener) {
    std::string error;
    if (!listener.start(error)) {
        ServiceLog::Line("Cannot listen on 127.0.0.1:%u: %s", static_cast<unsigned>(listener.port()), error.c_str());
        return FAIL;
    }
    ServiceLog::Line("Listening on 127.0.0.1:%u", static_cast<unsigned>(listener.port()));
    return KEEP_RUNNING;
}

}  // namespace Service
}  // namespace VantisClient
