// Removes an installed game: refuses while a program of the game runs, then
// removes what its install placed (InstalledProductRemover) and, when all of
// that is gone, the game's records: its index entry and its database. The
// outcome leaves through the result event, once, whatever it is.
//
// Thread-safety: doWork() and the event run on the installer subsystem's
// thread; abort() may come from any thread and stops the removal between
// entries, leaving the records for another run.
#pragma once

#include <string>

#include <Poco/BasicEvent.h>

#include "common/AbortSignal.h"
#include "core/ClientTask.h"
#include "core/ProductUninstallResultStruct.h"
#include "model/ProductInfo.h"

namespace VantisClient {

class UninstallProductTask : public ClientTask {
public:
    using Ptr = Poco::AutoPtr<UninstallProductTask>;

    static const char* const STR_ID;

    explicit UninstallProductTask(const std::string& gameId);

    const char* GetStrId() const override;
    std::string GetGameId() const override;
    void doWork() override;
    void abort() override;
    // Nothing of the removal needs the backend.
    void onAuthLost() override;

    Poco::BasicEvent<ProductUninstallResultStruct> resultEvent;

protected:
    ~UninstallProductTask() override = default;

private:
    // The game's records; null when the library does not know the game.
    ProductInfo::Ptr readProduct() const;
    bool isGameRunning(const ProductInfo& product, ProductUninstallResultStruct& result) const;
    void removeFiles(const ProductInfo& product, ProductUninstallResultStruct& result);
    void removeRecords(ProductUninstallResultStruct& result) const;

    const std::string m_gameId;
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
