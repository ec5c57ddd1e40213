// What the backend offers for a game, from the engine's offer check.
#pragma once

#include "core/ClientNotification.h"
#include "core/ProductOfferStruct.h"

namespace VantisClient {

class ProductOfferNotification : public ClientNotification {
public:
    explicit ProductOfferNotification(const ProductOfferStruct& offer);

    // onProductOffer(offer).
    void dispatchToClient(IClientListener* listener) override;

private:
    ProductOfferStruct m_offer;
};

}  // namespace VantisClient
