// The one outcome of an install or update.
#pragma once

#include "core/ClientNotification.h"

namespace VantisClient {

class InstallResultNotification : public ClientNotification {
public:
    InstallResultNotification(Poco::SharedPtr<ProductPresentationData> product, EInstallResult result);

    // Success: onProductInstallSuccess; Aborted: onProductInstallAborted (an
    // abort is no failure); any other result: onProductInstallFailed.
    void dispatchToClient(IClientListener* listener) override;

private:
    Poco::SharedPtr<ProductPresentationData> m_product;
    EInstallResult m_result;
};

}  // namespace VantisClient
