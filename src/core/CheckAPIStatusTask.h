// Reads the backend's client configuration file: whether the backend is
// online, host overrides, the talk interval that paces update checks and the
// complain interval that spaces problem reports.
// Thread-safety: doWork() and the event run on the short subsystem's thread;
// abort() may come from any thread and silences the event.
#pragma once

#include <Poco/BasicEvent.h>
#include <Poco/JSON/Object.h>

#include "common/AbortSignal.h"
#include "core/ClientTask.h"
#include "net/APIStatusResult.h"

namespace VantisClient {

class CheckAPIStatusTask : public ClientTask {
public:
    using Ptr = Poco::AutoPtr<CheckAPIStatusTask>;

    static const char* const STR_ID;
    static const int64_t DEFAULT_TALK_INTERVAL_SECONDS = 3600;
    static const int64_t DEFAULT_COMPLAIN_INTERVAL_SECONDS = 600;

    // With `singleAttempt` the request is made once, else up to five times.
    explicit CheckAPIStatusTask(bool singleAttempt);

    const char* GetStrId() const override;
    // Fires the status event exactly once, unless aborted.
    void doWork() override;
    void abort() override;
    void onAuthLost() override;

    Poco::BasicEvent<APIStatusResult> apiStatusEvent;

protected:
    ~CheckAPIStatusTask() override = default;

private:
    void readConfiguration(const Poco::JSON::Object::Ptr& configuration, APIStatusResult& result) const;
    void applyEndPoints(const Poco::JSON::Object::Ptr& endPoints, APIStatusResult& result) const;
    static int64_t readInterval(const Poco::JSON::Object::Ptr& configuration, const char* key, int64_t fallback,
                                int64_t floor, const char* missingWarning);
    void report(APIStatusResult& result);

    bool m_singleAttempt;
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
