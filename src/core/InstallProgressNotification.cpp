#include "core/InstallProgressNotification.h"

namespace VantisClient {

InstallProgressNotification::InstallProgressNotification(Poco::SharedPtr<ProductPresentationData> product,
                                                         EInstallStatusCode status, float progress,
                                                         uint64_t byteCount)
    : m_product(product), m_status(status), m_progress(progress), m_byteCount(byteCount) {}

void InstallProgressNotification::dispatchToClient(IClientListener* listener) {
    listener->handleInstallProgress(m_product, m_status, m_progress, m_byteCount);
}

}  // namespace VantisClient
