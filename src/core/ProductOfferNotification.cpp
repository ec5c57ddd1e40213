#include "core/ProductOfferNotification.h"

namespace VantisClient {

ProductOfferNotification::ProductOfferNotification(const ProductOfferStruct& offer) : m_offer(offer) {}

void ProductOfferNotification::dispatchToClient(IClientListener* listener) { listener->onProductOffer(m_offer); }

}  // namespace VantisClient
