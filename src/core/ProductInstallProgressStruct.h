// An install task's progress report to the engine.
#pragma once

#include <cstdint>

#include <Poco/SharedPtr.h>

#include "install/EInstallStatusCode.h"
#include "model/ProductPresentationData.h"

namespace VantisClient {

struct ProductInstallProgressStruct {
    Poco::SharedPtr<ProductPresentationData> product;
    EInstallStatusCode status = EInstallStatusCode::NotStarted;
    // From 0 to 1.
    float progress = 0.0f;
    uint64_t byteCount = 0;
};

}  // namespace VantisClient
