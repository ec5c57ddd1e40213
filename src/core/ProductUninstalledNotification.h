// How the removal of a game ended.
#pragma once

#include "core/ClientNotification.h"
#include "core/ProductUninstallResultStruct.h"

namespace VantisClient {

class ProductUninstalledNotification : public ClientNotification {
public:
    explicit ProductUninstalledNotification(const ProductUninstallResultStruct& result);

    // onProductUninstalled(result).
    void dispatchToClient(IClientListener* listener) override;

private:
    ProductUninstallResultStruct m_result;
};

}  // namespace VantisClient
