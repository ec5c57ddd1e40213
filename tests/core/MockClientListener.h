// A client listener whose every operation is a mock, for checking which
// operation a notification reaches. The two getters answer a fixed game.
#pragma once

#include <string>

#include <gmock/gmock.h>

#include "core/IClientListener.h"

namespace VantisTest {

class MockClientListener : public VantisClient::IClientListener {
public:
    explicit MockClientListener(std::string gameId = "1207658924", std::string localPath = "")
        : m_gameId(std::move(gameId)), m_localPath(std::move(localPath)) {}

    MOCK_METHOD(void, onSignedIn, (VantisClient::SignInResult), (override));
    MOCK_METHOD(void, onSignInFailed, (VantisClient::SignInResult), (override));
    MOCK_METHOD(void, onSignedOut, (), (override));
    MOCK_METHOD(void, onAuthLost, (), (override));

    MOCK_METHOD(void, onProductInstallSuccess, (Poco::SharedPtr<VantisClient::ProductPresentationData>), (override));
    MOCK_METHOD(void, onProductInstallFailed,
                (Poco::SharedPtr<VantisClient::ProductPresentationData>, VantisClient::EInstallResult), (override));
    MOCK_METHOD(void, onProductInstallAborted, (Poco::SharedPtr<VantisClient::ProductPresentationData>), (override));
    MOCK_METHOD(void, onProductStateChanged, (const std::string&, VantisClient::EProductState), (override));
    MOCK_METHOD(void, handleInstallProgress,
                (Poco::SharedPtr<VantisClient::ProductPresentationData>, VantisClient::EInstallStatusCode, float,
                 uint64_t),
                (override));
    MOCK_METHOD(void, onManifestUpdateCheckResults, (VantisClient::EManifestUpdateCode, const std::string&),
                (override));
    MOCK_METHOD(void, onProductOffer, (const VantisClient::ProductOfferStruct&), (override));
    MOCK_METHOD(void, onProductVerified, (const VantisClient::ProductVerifyResultStruct&), (override));
    MOCK_METHOD(void, onProductUninstalled, (const VantisClient::ProductUninstallResultStruct&), (override));

    MOCK_METHOD(void, onCoreInitialized, (const VantisClient::InitializationData&), (override));
    MOCK_METHOD(void, onShutdownRequest, (), (override));
    MOCK_METHOD(void, onAPIStatusChanged, (VantisClient::APIStatusResult), (override));

    std::string getCurrentGameId() const override { return m_gameId; }
    std::string getCurrentGameLocalPath() const override { return m_localPath; }

private:
    const std::string m_gameId;
    const std::string m_localPath;
};

}  // namespace VantisTest
