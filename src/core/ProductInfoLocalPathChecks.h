// Gives a product the installation directory it was launched or found with,
// but only when something exists there: a product whose directory is gone gets
// an empty local path, which start-up reports as an unusable product.
// Thread-safety: works on the given product only; guard it like any ProductInfo.
#pragma once

#include <string>

#include "model/ProductInfo.h"

namespace VantisClient {

// An empty path is stored without a check; a path with nothing there (or one
// that cannot be checked) is logged with the game id and cleared.
void ProductInfoLocalPathChecks(ProductInfo& product, const std::string& path);

}  // namespace VantisClient
