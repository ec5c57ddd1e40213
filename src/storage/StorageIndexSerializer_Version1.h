// The index of all products in "index.db": one row per product in Products and
// the product's languages, game ids, sync endpoints and revisions in side
// tables keyed by its game id. Every statement runs on the session that the
// facade hands over; each operation logs its own failure and returns false.
// Thread-safety: none; the facade never lets two calls overlap.
#pragma once

#include "storage/IStorageIndexSerializer.h"

namespace VantisClient {

class StorageIndexSerializer_Version1 : public IStorageIndexSerializer {
public:
    bool deleteIndex() override;
    bool createIndex() override;
    bool deserializeFromIndex(Products& products) override;
    bool serializeToIndex(const Products& products) override;
    bool serializeSingleProductToIndex(ProductInfo* product) override;
    void setSession(Poco::Data::Session* session) override;

private:
    // Throws Poco::NullPointerException when no session was handed over.
    Poco::Data::Session& session() const;

    Poco::Data::Session* m_session = nullptr;
};

}  // namespace VantisClient
