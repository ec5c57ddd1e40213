// Builds the engine's product list at start-up: reads the local index, adds a
// placeholder for the launched game when the index does not know it, attaches
// what each product's info files say, writes the index back and hands the list
// over through the products-loaded event.
// Thread-safety: doWork() and the event run on the short subsystem's thread;
// abort() may come from any thread and is seen before the index is searched
// and before it is written back.
#pragma once

#include <string>
#include <vector>

#include <Poco/BasicEvent.h>

#include "common/AbortSignal.h"
#include "core/ClientTask.h"
#include "core/ProductsLoaded_Result.h"
#include "model/ProductInfo.h"

namespace VantisClient {

class LoadProductsTask : public ClientTask {
public:
    using Ptr = Poco::AutoPtr<LoadProductsTask>;

    static const char* const STR_ID;

    // `localPath` and `gameId` are the launched game's installation directory and id.
    LoadProductsTask(const std::string& localPath, const std::string& gameId);

    const char* GetStrId() const override;
    // Fires the products-loaded event once, unless aborted first.
    void doWork() override;
    void abort() override;
    void onAuthLost() override;

    // Fired on the subsystem's thread at the end of a complete run.
    Poco::BasicEvent<ProductsLoaded_Result> productsLoadedEvent;

protected:
    ~LoadProductsTask() override = default;

private:
    void addSelectedProductIfMissing();
    void adoptLaunchPathIfNone(ProductInfo& product) const;
    ProductInfo::Ptr createPlaceholderProduct() const;
    void attachInfoFiles();

    std::string m_localPath;
    std::string m_gameId;
    AbortSignal::Ptr m_abortSignal;
    std::vector<ProductInfo::Ptr> m_products;
};

}  // namespace VantisClient
