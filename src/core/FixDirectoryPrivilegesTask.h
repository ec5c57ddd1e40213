// Runs after the library load: games left unplayable for lack of permissions
// (OfflineUnplayable) become playable offline (Offline) once the service has
// had its chance to fix their directories. Each change is written to the
// library index and reported through the product-state event.
// Thread-safety: doWork() and the event run on the installer subsystem's
// thread; abort() and onAuthLost() do nothing.
#pragma once

#include <Poco/BasicEvent.h>

#include "core/ClientTask.h"
#include "core/ProductStateChangedStruct.h"

namespace VantisClient {

class FixDirectoryPrivilegesTask : public ClientTask {
public:
    using Ptr = Poco::AutoPtr<FixDirectoryPrivilegesTask>;

    static const char* const STR_ID;

    const char* GetStrId() const override;
    void doWork() override;
    void abort() override;
    void onAuthLost() override;

    Poco::BasicEvent<ProductStateChangedStruct> productStateChangedEvent;

protected:
    ~FixDirectoryPrivilegesTask() override = default;
};

}  // namespace VantisClient
