// Decides for every product given whether it needs an update: fetches the
// product's current manifest and compares its timestamp with the one the
// product was installed from; when they match, or the manifest disables
// syncing, every installed file must still be on disk with its recorded size.
// Each decision leaves through the result event; a product whose manifest
// cannot be fetched or read gets none. A product whose database cannot be
// read needs an update: the install that follows repairs it.
//
// The products are the task's own copies, never the engine's records: the
// check reads their databases into them and writes their up-to-date states.
//
// Thread-safety: doWork() and the event run on the installer subsystem's
// thread; abort() may come from any thread, after which no result is delivered.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <Poco/BasicEvent.h>

#include "common/AbortSignal.h"
#include "core/ClientTask.h"
#include "core/ProductUpdateCheckResultStruct.h"
#include "model/ProductInfo.h"
#include "model/RemoteProductDefinition.h"

namespace VantisClient {

class CheckForUpdatesToManifestsTask : public ClientTask {
public:
    using Ptr = Poco::AutoPtr<CheckForUpdatesToManifestsTask>;

    static const char* const STR_ID;

    explicit CheckForUpdatesToManifestsTask(std::vector<ProductInfo::Ptr> products);

    const char* GetStrId() const override;
    void doWork() override;
    void abort() override;
    void onAuthLost() override;

    // True when every installed file of the product is on disk with its
    // recorded size (a size that cannot be read counts as right); false also
    // when the product's database cannot be read or the task is aborted.
    bool checkFileExistanceAndSizesOK(ProductInfo& product);

    // One firing per decided product.
    Poco::BasicEvent<ProductUpdateCheckResultStruct> updateCheckResultEvent;

protected:
    ~CheckForUpdatesToManifestsTask() override = default;

private:
    void checkProduct(ProductInfo& product);
    // False when the manifest could not be fetched or read.
    bool fetchRemoteDefinition(RemoteProductDefinition& remote);
    bool needsUpdate(ProductInfo& product, const RemoteProductDefinition& remote);
    bool hasProductDatabase(ProductInfo& product);

    std::vector<ProductInfo::Ptr> m_products;
    std::atomic<bool> m_aborted{false};
    // Cuts a manifest fetch in progress short.
    AbortSignal::Ptr m_abortSignal;
};

}  // namespace VantisClient
