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
    for (Poco::SharedPtr<ProductInfo>& product : products) {
        if (product->getProductState() != EProductState::OfflineUnplayable) continue;
        product->setProductState(EProductState::Offline, true);
        StorageDBSerializer::UpdateProductInIndex(product.get());
        ProductStateChangedStruct change;
        change.product = product->constructProductPresentationData();
        productStateChangedEvent.notify(this, change);
    }
}

void FixDirectoryPrivilegesTask::abort() {}

void FixDirectoryPrivilegesTask::onAuthLost() {}

}  // namespace VantisClient
