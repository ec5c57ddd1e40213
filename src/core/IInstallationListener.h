// What the shell hears about installs, verifies, removals, product states,
// update and offer checks.
// Called only inside ClientCore::serviceCalls(), on the thread that calls it.
#pragma once

#include <cstdint>
#include <string>

#include <Poco/SharedPtr.h>

#include "core/EManifestUpdateCode.h"
#include "core/ProductOfferStruct.h"
#include "core/ProductUninstallResultStruct.h"
#include "core/ProductVerifyResultStruct.h"
#include "install/EInstallResult.h"
#include "install/EInstallStatusCode.h"
#include "model/ProductPresentationData.h"

namespace VantisClient {

class IInstallationListener {
public:
    virtual ~IInstallationListener() = default;
    virtual void onProductInstallSuccess(Poco::SharedPtr<ProductPresentationData> product) = 0;
    virtual void onProductInstallFailed(Poco::SharedPtr<ProductPresentationData> product, EInstallResult result) = 0;
    virtual void onProductInstallAborted(Poco::SharedPtr<ProductPresentationData> product) = 0;
    virtual void onProductStateChanged(const std::string& gameId, EProductState state) = 0;
    // `progress` runs from 0 to 1.
    virtual void handleInstallProgress(Poco::SharedPtr<ProductPresentationData> product, EInstallStatusCode status,
                                       float progress, uint64_t byteCount) = 0;
    virtual void onManifestUpdateCheckResults(EManifestUpdateCode code, const std::string& gameId) = 0;
    // The answer to ClientCore::checkProductOfferAsync().
    virtual void onProductOffer(const ProductOfferStruct& offer) = 0;
    // What ClientCore::verifyProductAsync() found, before any repair.
    virtual void onProductVerified(const ProductVerifyResultStruct& result) = 0;
    // The end of ClientCore::uninstallProductAsync().
    virtual void onProductUninstalled(const ProductUninstallResultStruct& result) = 0;
};

}  // namespace VantisClient
