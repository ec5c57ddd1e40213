// An install's progress: the step it is in, the fraction done and the bytes moved.
#pragma once

#include <cstdint>

#include "core/ClientNotification.h"

namespace VantisClient {

class InstallProgressNotification : public ClientNotification {
public:
    InstallProgressNotification(Poco::SharedPtr<ProductPresentationData> product, EInstallStatusCode status,
                                float progress, uint64_t byteCount);

    // handleInstallProgress(product, status, progress, byteCount).
    void dispatchToClient(IClientListener* listener) override;

private:
    Poco::SharedPtr<ProductPresentationData> m_product;
    EInstallStatusCode m_status;
    float m_progress;
    uint64_t m_byteCount;
};

}  // namespace VantisClient
