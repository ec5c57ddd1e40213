// Waits for the outcome of a sign-in from the signed-out state.
// Thread-safety: the callbacks run on the delivering thread; the getters on
// the waiting thread; one lock guards both.
#pragma once

#include <cstdint>
#include <string>

#include <Poco/Event.h>

#include "common/VantisMutex.h"
#include "net/IAuthInternalListener.h"

namespace VantisClient {

class SyncRequestAuthListener : public Http::IAuthInternalListener {
public:
    enum Result { WAITING = 0, SUCCEEDED = 1, FAILED = 2 };

    // The tokens are read from the manager at once, on the thread that reports success.
    void OnAuthSuccess() override;
    void OnAuthFailure() override;
    void OnAuthLost() override {}

    int waitForResult(long milliseconds);
    std::string refreshToken();
    uint64_t userId();

private:
    void finish(int result);

    VantisMutex m_mutex;
    Poco::Event m_done;
    int m_result = WAITING;
    std::string m_refreshToken;
    uint64_t m_userId = 0;
};

}  // namespace VantisClient
