#include "core/InstallResultNotification.h"

namespace VantisClient {

InstallResultNotification::InstallResultNotification(Poco::SharedPtr<ProductPresentationData> product,
                                                     EInstallResult result)
    : m_product(product), m_result(result) {}

void InstallResultNotification::dispatchToClient(IClientListener* listener) {
    switch (m_result) {
        case EInstallResult::Success:
            listener->onProductInstallSuccess(m_product);
            break;
        case EInstallResult::Aborted:
            listener->onProductInstallAborted(m_product);
            break;
        default:
            listener->onProductInstallFailed(m_product, m_result);
            break;
    }
}

}  // namespace VantisClient
