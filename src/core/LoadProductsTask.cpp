#include "core/LoadProductsTask.h"

#include <algorithm>

#include "common/Logger.h"
#include "core/ProductInfoLocalPathChecks.h"
#include "model/MiniManifestLoader.h"
#include "storage/StorageDBSerializer.h"

namespace VantisClient {

const char* const LoadProductsTask::STR_ID = "LoadProductsTask";

LoadProductsTask::LoadProductsTask(const std::string& localPath, const std::string& gameId)
    : m_localPath(localPath), m_gameId(gameId), m_abortSignal(new AbortSignal) {
    Logger::LogInfo("Initializing LoadProductsTask for gameId %s, path %s", gameId.c_str(), localPath.c_str());
}

const char* LoadProductsTask::GetStrId() const { return STR_ID; }

void LoadProductsTask::doWork() {
    ClientTask::doWork();
    // An unreadable index leaves what was read, possibly nothing: the launched
    // game is then added as a placeholder and the index is rewritten with it.
    StorageDBSerializer::DeserializeIndex(m_products);
    if (m_abortSignal->isRaised()) return;
    addSelectedProductIfMissing();
    attachInfoFiles();
    Logger::LogInfo("Found %d games", static_cast<int>(m_products.size()));
    if (m_abortSignal->isRaised()) return;
    ProductsLoaded_Result result;
    result.failed = !StorageDBSerializer::SerializeIndex(m_products);
    result.products = m_products;
    productsLoadedEvent.notify(this, result);
}

void LoadProductsTask::addSelectedProductIfMissing() {
    const auto known = std::find_if(m_products.begin(), m_products.end(),
                                    [this](const ProductInfo::Ptr& product) { return product->getGameId() == m_gameId; });
    if (known != m_products.end()) {
        adoptLaunchPathIfNone(**known);
        return;
    }
    ProductInfo::Ptr placeholder = createPlaceholderProduct();
    StorageDBSerializer::SerializeProduct(placeholder.get());
    m_products.push_back(placeholder);
}

ProductInfo::Ptr LoadProductsTask::createPlaceholderProduct() const {
    ProductInfo::Ptr product = new ProductInfo;
    product->setGameId(m_gameId);
    product->setProductState(EProductState::OfflineUnplayable, true);
    ProductInfoLocalPathChecks(*product, m_localPath);
    Logger::LogInfo("Created offline product info: gameID %s, path %s", m_gameId.c_str(),
                    product->getLocalPath().c_str());
    return product;
}

void LoadProductsTask::adoptLaunchPathIfNone(ProductInfo& product) const {
    // A start whose directory did not exist yet left the game without one;
    // kept, no later start could install or play it.
    if (!product.getLocalPath().empty() || m_localPath.empty()) return;
    ProductInfoLocalPathChecks(product, m_localPath);
    if (product.getLocalPath().empty()) return;
    Logger::LogInfo("Product %s had no directory; it takes %s", m_gameId.c_str(), m_localPath.c_str());
    StorageDBSerializer::SerializeProduct(&product);
}

void LoadProductsTask::attachInfoFiles() {
    for (ProductInfo::Ptr product : m_products) {
        MiniManifestLoader loader(product->getGameId(), product->getLocalPath());
        product->setMiniManifestContents(loader.loadAndMergeMiniManifests());
    }
}

void LoadProductsTask::abort() { m_abortSignal->raise(); }

void LoadProductsTask::onAuthLost() {}

}  // namespace VantisClient
