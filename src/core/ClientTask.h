// The base of every background task. A task is pushed onto a SubSystem, runs
// once on that subsystem's thread through doWork(), and is released by the
// queue; reference counting decides its lifetime.
//
// Thread-safety: doWork() runs on the subsystem's thread, and so do the events
// a task fires. abort() and onAuthLost() arrive from other threads while the
// work runs: implementations only set flags that the work checks.
#pragma once

#include <string>

#include <Poco/AutoPtr.h>
#include <Poco/Notification.h>

#include "core/ScheduledTaskId.h"

namespace VantisClient {

class ClientTask : public Poco::Notification {
public:
    using Ptr = Poco::AutoPtr<ClientTask>;

    static const char* const STR_ID;

    // The class identifier; every task class returns its own class name.
    virtual const char* GetStrId() const;
    // The game the task works on; empty for tasks that serve no single game.
    virtual std::string GetGameId() const;
    // Derived tasks call this first: it logs the start line.
    virtual void doWork();
    virtual void onAuthLost() = 0;
    // Asks the running work to stop soon.
    virtual void abort() = 0;

    ScheduledTaskId getScheduledTaskId() const;

protected:
    ~ClientTask() override = default;
};

}  // namespace VantisClient
