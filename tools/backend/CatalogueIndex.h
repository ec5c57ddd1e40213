// The backend's view of a catalogue directory: which products it holds (the
// game ids with a product manifest), which game ids they offer (base games and
// extra content, for game cards), and where a catalogue path is on disk.
// Thread-safety: read-only after load; safe from any thread.
#pragma once

#include <set>
#include <string>

namespace VantisClient {
namespace Backend {

class CatalogueIndex {
public:
    // False with a reason when the root is not a directory or a product manifest
    // cannot be read. A directory without games is an empty catalogue.
    bool load(const std::string& root, std::string& error);

    bool hasProduct(const std::string& gameId) const { return m_products.count(gameId) > 0; }
    bool offersGame(const std::string& gameId) const { return m_gameIds.count(gameId) > 0; }
    const std::set<std::string>& products() const { return m_products; }

    // The absolute path of a regular file below the root, or "" when the relative
    // path is unsafe or names nothing.
    std::string resolve(const std::string& relativePath) const;

private:
    std::string m_root;
    std::set<std::string> m_products;
    std::set<std::string> m_gameIds;
};

}  // namespace Backend
}  // namespace VantisClient
