#include "core/ProductVerifiedNotification.h"

namespace VantisClient {

ProductVerifiedNotification::ProductVerifiedNotification(const ProductVerifyResultStruct& result) : m_result(result) {}

void ProductVerifiedNotification::dispatchToClient(IClientListener* listener) { listener->onProductVerified(m_result); }

}  // namespace VantisClient
