// A product moved to another state; the snapshot carries the new state.
#pragma once

#include "core/ClientNotification.h"

namespace VantisClient {

class ProductStateChangedNotification : public ClientNotification {
public:
    explicit ProductStateChangedNotification(Poco::SharedPtr<ProductPresentationData> product);

    // onProductStateChanged(the product's game id, the product's state).
    void dispatchToClient(IClientListener* listener) override;

private:
    Poco::SharedPtr<ProductPresentationData> m_product;
};

}  // namespace VantisClient
