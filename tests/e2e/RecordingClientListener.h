// A client listener that keeps what the engine reported. The engine calls it
// only inside serviceCalls(), which the tests make on their own thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "CatalogueFixture.h"
#include "core/IClientListener.h"

namespace VantisTest {

class RecordingClientListener : public VantisClient::IClientListener {
public:
    using UpdateCheck = std::pair<VantisClient::EManifestUpdateCode, std::string>;

    void onSignedIn(VantisClient::SignInResult) override {}
    void onSignInFailed(VantisClient::SignInResult) override {}
    void onSignedOut() override {}
    void onAuthLost() override {}

    void onProductInstallSuccess(Poco::SharedPtr<VantisClient::ProductPresentationData>) override {
        results.push_back(VantisClient::EInstallResult::Success);
    }
    void onProductInstallFailed(Poco::SharedPtr<VantisClient::ProductPresentationData>,
                                VantisClient::EInstallResult result) override {
        results.push_back(result);
    }
    void onProductInstallAborted(Poco::SharedPtr<VantisClient::ProductPresentationData>) override {
        results.push_back(VantisClient::EInstallResult::Aborted);
    }
    void onProductStateChanged(const std::string&, VantisClient::EProductState state) override {
        states.push_back(state);
    }
    void handleInstallProgress(Poco::SharedPtr<VantisClient::ProductPresentationData>,
                               VantisClient::EInstallStatusCode status, float, uint64_t) override {
        statuses.push_back(status);
    }
    void onManifestUpdateCheckResults(VantisClient::EManifestUpdateCode code, const std::string& gameId) override {
        updateChecks.emplace_back(code, gameId);
    }
    void onProductOffer(const VantisClient::ProductOfferStruct& offer) override { offers.push_back(offer); }
    void onProductVerified(const VantisClient::ProductVerifyResultStruct&) override {}
    void onProductUninstalled(const VantisClient::ProductUninstallResultStruct&) override {}

    void onCoreInitialized(const VantisClient::InitializationData&) override { initialized = true; }
    void onShutdownRequest() override {}
    void onAPIStatusChanged(VantisClient::APIStatusResult result) override { apiStatuses.push_back(result.status); }

    std::string getCurrentGameId() const override { return SampleGame::BASE_ID; }
    std::string getCurrentGameLocalPath() const override { return ""; }

    std::vector<VantisClient::EInstallResult> results;
    std::vector<VantisClient::EProductState> states;
    std::vector<VantisClient::EInstallStatusCode> statuses;
    std::vector<UpdateCheck> updateChecks;
    std::vector<VantisClient::ProductOfferStruct> offers;
    std::vector<int32_t> apiStatuses;
    bool initialized = false;
};

}  // namespace VantisTest
