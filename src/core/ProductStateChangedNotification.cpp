#include "core/ProductStateChangedNotification.h"

namespace VantisClient {

ProductStateChangedNotification::ProductStateChangedNotification(Poco::SharedPtr<ProductPresentationData> product)
    : m_product(product) {}

void ProductStateChangedNotification::dispatchToClient(IClientListener* listener) {
    listener->onProductStateChanged(m_product->gameId, m_product->state);
}

}  // namespace VantisClient
