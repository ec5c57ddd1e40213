#include "core/FixDirectoryPrivilegesTask.h"

#include <vector>

#include "core/ClientCore.h"
#include "storage/StorageDBSerializer.h"

namespace VantisClient {

const char* const FixDirectoryPrivilegesTask::STR_ID = "FixDirectoryPrivilegesTask";

const char* FixDirectoryPrivilegesTask::GetStrId() const { return STR_ID; }

void FixDirectoryPrivilegesTask::doWork() {
    ClientTask::doWork();
    ClientCore* core = ClientCore::instance();
    // The engine clears its pointer before it goes; a late run has nothing to fix.
    if (core == nullptr) return;
    std::vector<Poco::SharedPtr<ProductInfo>> products;
    core->getAllProducts(products);
    for (const Poco::SharedPtr<ProductInfo>& known : products) {
        if (known->getProductState() != EProductState::OfflineUnplayable) continue;
        // The engine's record is shared with the thread that drains the
        // notifications: a changed copy takes its place.
        Poco::SharedPtr<ProductInfo> product = new ProductInfo(*known);
        product->setProductState(EProductState::Offline, true);
        StorageDBSerializer::UpdateProductInIndex(product.get());
        core->replaceProduct(product, "FixDirectoryPrivilegesTask");
        ProductStateChangedStruct change;
        change.product = product->constructProductPresentationData();
        productStateChangedEvent.notify(this, change);
    }
}

void FixDirectoryPrivilegesTask::abort() {}

void FixDirectoryPrivilegesTask::onAuthLost() {}

}  // namespace VantisClient
