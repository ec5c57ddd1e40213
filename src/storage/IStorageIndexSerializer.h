// One storage format of the index of all products. It works on the database
// session that the facade hands it before each use.
// Thread-safety: none; the facade never lets two calls overlap.
#pragma once

#include <vector>

#include <Poco/SharedPtr.h>

namespace Poco {
namespace Data {
class Session;
}
}  // namespace Poco

namespace VantisClient {

class ProductInfo;

class IStorageIndexSerializer {
public:
    using Products = std::vector<Poco::SharedPtr<ProductInfo>>;

    virtual ~IStorageIndexSerializer() = default;

    virtual bool deleteIndex() = 0;
    virtual bool createIndex() = 0;
    // Appends to `products`; those read before a failure stay.
    virtual bool deserializeFromIndex(Products& products) = 0;
    // Rewrites the whole index with `products`; on failure the index stays as it was.
    virtual bool serializeToIndex(const Products& products) = 0;
    virtual bool serializeSingleProductToIndex(ProductInfo* product) = 0;

    // The session the next calls work on; not owned, null when none.
    virtual void setSession(Poco::Data::Session* session) = 0;
};

}  // namespace VantisClient
