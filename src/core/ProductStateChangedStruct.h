// A task's report that a product changed state; the snapshot carries the new state.
#pragma once

#include <Poco/SharedPtr.h>

#include "model/ProductPresentationData.h"

namespace VantisClient {

struct ProductStateChangedStruct {
    Poco::SharedPtr<ProductPresentationData> product;
};

}  // namespace VantisClient
