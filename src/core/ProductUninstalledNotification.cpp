#include "core/ProductUninstalledNotification.h"

namespace VantisClient {

ProductUninstalledNotification::ProductUninstalledNotification(const ProductUninstallResultStruct& result)
    : m_result(result) {}

void ProductUninstalledNotification::dispatchToClient(IClientListener* listener) {
    listener->onProductUninstalled(m_result);
}

}  // namespace VantisClient
