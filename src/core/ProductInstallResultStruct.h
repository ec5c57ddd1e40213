// An install task's final result, reported to the engine.
#pragma once

#include <Poco/SharedPtr.h>

#include "install/EInstallResult.h"
#include "model/ProductPresentationData.h"

namespace VantisClient {

struct ProductInstallResultStruct {
    Poco::SharedPtr<ProductPresentationData> product;
    EInstallResult result = EInstallResult::Success;
};

}  // namespace VantisClient
