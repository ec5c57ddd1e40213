// The outcome of comparing one installed product with its remote manifest.
#pragma once

#include <string>

#include "core/ClientNotification.h"
#include "core/EManifestUpdateCode.h"

namespace VantisClient {

class CheckForManifestUpdateNotification : public ClientNotification {
public:
    CheckForManifestUpdateNotification(EManifestUpdateCode code, const std::string& gameId);

    // onManifestUpdateCheckResults(code, gameId).
    void dispatchToClient(IClientListener* listener) override;

private:
    EManifestUpdateCode m_code;
    std::string m_gameId;
};

}  // namespace VantisClient
