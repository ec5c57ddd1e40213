// Where things live inside a catalogue directory, shared by the packer that
// writes it and the backend that serves it, and the checks that keep names
// taken from descriptions or URLs inside it.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {
namespace Catalogue {

class CatalogueLayout {
public:
    // Plain content is requested in parts of this size; each zip part inflates to
    // ZIP_PART_SIZE bytes except the last one of a file.
    static const uint32_t PLAIN_PART_SIZE = 0x100000;
    static const uint32_t ZIP_PART_SIZE = 0x600000;

    // Product keys of redistributable content share the URL space
    // "redists/packages/<key>/files/<file>" with the manifests folder.
    static const char* const REDIST_MANIFESTS_KEY;
    static const char* const REDIST_REPOSITORY_NAME;

    static std::string ProductManifestPath(const std::string& gameId);
    static std::string DepotManifestPath(const std::string& gameId, const std::string& manifestName);
    static std::string ObjectPath(const std::string& gameId, const std::string& objectName);
    static std::string RedistRepositoryPath();
    static std::string RedistManifestPath(const std::string& manifestName);
    static std::string RedistObjectPath(const std::string& redistName, const std::string& objectName);
    static std::string GamesDirectory();
    // The cover picture of a game id (its extra content shows the game's).
    static std::string CoverPath(const std::string& gameId);

    // One path component that cannot climb out of its folder: not empty, not "."
    // or "..", no "/", no "\\", no control character.
    static bool IsSafeComponent(const std::string& name);
    // A relative path of safe components separated by single "/".
    static bool IsSafeRelativePath(const std::string& path);
};

}  // namespace Catalogue
}  // namespace VantisClient
