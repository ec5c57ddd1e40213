// Keeps one product's databases open while a task works on the product: from
// the first storage call on it that opens them until the last session for the
// product ends (or StorageDBSerializer::Shutdown), every StorageDBSerializer
// call on that game id, from any thread, works on the same open databases
// instead of opening and closing them. A call that finds no product file still
// creates nothing. Calls on other products go on as before.
//
//     ProductStorageSession storage(gameId);
//     for (const InstalledFileInfo::Ptr& file : moved) StorageDBSerializer::UpdateFileInProduct(gameId, file);
//
// Thread-safety: sessions for the same product may live on several threads at
// once; the facade's lock keeps their start and end apart from every call.
// Shutdown closes what sessions keep, and a session that ends after it releases
// nothing; it must not outlive a new Start, which could be keeping the product
// for another session.
#pragma once

#include <string>

namespace VantisClient {

class ProductStorageSession {
public:
    explicit ProductStorageSession(const std::string& gameId);
    ~ProductStorageSession();
    ProductStorageSession(const ProductStorageSession&) = delete;
    ProductStorageSession& operator=(const ProductStorageSession&) = delete;

private:
    std::string m_gameId;
    bool m_kept;
};

}  // namespace VantisClient
