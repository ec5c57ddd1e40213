#include "storage/ProductStorageSession.h"

#include "storage/StorageDBSerializer.h"

namespace VantisClient {

ProductStorageSession::ProductStorageSession(const std::string& gameId)
    : m_gameId(gameId), m_kept(StorageDBSerializer::KeepOpen(gameId)) {}

ProductStorageSession::~ProductStorageSession() {
    if (m_kept) StorageDBSerializer::Release(m_gameId);
}

}  // namespace VantisClient
