// What the library load reports: the products of the local index, in index
// order, and whether writing the index back failed.
#pragma once

#include <vector>

#include <Poco/SharedPtr.h>

#include "model/ProductInfo.h"

namespace VantisClient {

struct ProductsLoaded_Result {
    bool failed = false;
    std::vector<Poco::SharedPtr<ProductInfo>> products;
};

}  // namespace VantisClient
