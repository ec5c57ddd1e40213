// Asks the backend what it offers for one game: reads its product manifest
// and, when that fails for another reason than an unknown game, asks whether
// the user owns the game, since the backend refuses the manifest of a game the
// user does not own as well. The answer leaves through the result event, once,
// unless the task is aborted.
//
// Thread-safety: doWork() and the event run on the short subsystem's thread;
// abort() may come from any thread and cuts a fetch in progress short.
#pragma once

#include <string>

#include <Poco/BasicEvent.h>

#include "common/AbortSignal.h"
#include "core/ClientTask.h"
#include "core/ProductOfferStruct.h"

namespace VantisClient {

class CheckProductOfferTask : public ClientTask {
public:
    using Ptr = Poco::AutoPtr<CheckProductOfferTask>;

    static const char* const STR_ID;

    explicit CheckProductOfferTask(const std::string& gameId);

    const char* GetStrId() const override;
    void doWork() override;
    void abort() override;
    void onAuthLost() override;

    Poco::BasicEvent<ProductOfferStruct> resultEvent;

protected:
    ~CheckProductOfferTask() override = default;

private:
    // Why a manifest that could not be fetched or read is not offered.
    static EInstallResult whyNotOffered(const std::string& gameId, bool unknownGame);

    const std::string m_gameId;
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
