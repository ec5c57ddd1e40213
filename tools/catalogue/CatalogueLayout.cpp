#include "catalogue/CatalogueLayout.h"

namespace VantisClient {
namespace Catalogue {

const char* const CatalogueLayout::REDIST_MANIFESTS_KEY = "manifests";
const char* const CatalogueLayout::REDIST_REPOSITORY_NAME = "repository.json";

std::string CatalogueLayout::GamesDirectory() {
    return "games";
}

std::string CatalogueLayout::ProductManifestPath(const std::string& gameId) {
    return GamesDirectory() + "/" + gameId + "/product.json";
}

std::string CatalogueLayout::DepotManifestPath(const std::string& gameId, const std::string& manifestName) {
    return GamesDirectory() + "/" + gameId + "/manifests/" + manifestName;
}

std::string CatalogueLayout::ObjectPath(const std::string& gameId, const std::string& objectName) {
    return "objects/" + gameId + "/" + objectName;
}

std::string CatalogueLayout::RedistRepositoryPath() {
    return std::string("redists/") + REDIST_REPOSITORY_NAME;
}

std::string CatalogueLayout::RedistManifestPath(const std::string& manifestName) {
    return "redists/manifests/" + manifestName;
}

std::string CatalogueLayout::RedistObjectPath(const std::string& redistName, const std::string& objectName) {
    return "redists/objects/" + redistName + "/" + objectName;
}

std::string CatalogueLayout::CoverPath(const std::string& gameId) {
    return "covers/" + gameId;
}

bool CatalogueLayout::IsSafeComponent(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (unsigned char c : name) {
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

bool CatalogueLayout::IsSafeRelativePath(const std::string& path) {
    if (path.empty()) return false;
    size_t start = 0;
    while (true) {
        size_t slash = path.find('/', start);
        std::string component = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!IsSafeComponent(component)) return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

}  // namespace Catalogue
}  // namespace VantisClient
