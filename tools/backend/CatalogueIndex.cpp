#include "backend/CatalogueIndex.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include <Poco/DirectoryIterator.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/JSON/Parser.h>

#include "catalogue/CatalogueLayout.h"

namespace VantisClient {
namespace Backend {

using Catalogue::CatalogueLayout;

bool CatalogueIndex::load(const std::string& root, std::string& error) {
    m_root = root;
    struct stat info {};
    if (stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = "the catalogue " + root + " is not a directory";
        return false;
    }
    const std::string games = root + "/" + CatalogueLayout::GamesDirectory();
    if (!Poco::File(games).exists()) return true;
    for (Poco::DirectoryIterator it(games), end; it != end; ++it) {
        const std::string gameId = it.name();
        const std::string manifest = root + "/" + CatalogueLayout::ProductManifestPath(gameId);
        if (!Poco::File(manifest).exists()) continue;
        try {
            std::ifstream input(manifest);
            std::ostringstream text;
            text << input.rdbuf();
            Poco::JSON::Parser parser;
            Poco::JSON::Object::Ptr product =
                parser.parse(text.str()).extract<Poco::JSON::Object::Ptr>()->getObject("product");
            Poco::JSON::Array::Ptr offered = product ? product->getArray("gameIDs") : nullptr;
            for (size_t i = 0; offered && i < offered->size(); ++i) {
                m_gameIds.insert(offered->getObject(static_cast<unsigned>(i))->getValue<std::string>("gameID"));
            }
        } catch (const Poco::Exception& exception) {
            error = manifest + ": " + exception.displayText();
            return false;
        }
        m_products.insert(gameId);
        m_gameIds.insert(gameId);
    }
    return true;
}

std::string CatalogueIndex::resolve(const std::string& relativePath) const {
    if (!CatalogueLayout::IsSafeRelativePath(relativePath)) return "";
    std::string path = m_root + "/" + relativePath;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "";
    return path;
}

}  // namespace Backend
}  // namespace VantisClient
