#include "pack/Packer.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <Poco/DirectoryIterator.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/JSON/Object.h>
#include <Poco/Path.h>

#include "catalogue/CatalogueLayout.h"
#include "catalogue/CoverPicture.h"
#include "pack/ObjectStore.h"
#include "pack/SourceTree.h"

namespace VantisClient {
namespace Pack {

namespace {

using Catalogue::CatalogueLayout;
using Catalogue::CoverPicture;
using Poco::JSON::Array;
using Poco::JSON::Object;

struct ManifestFile {
    std::string path;
    std::shared_ptr<StoredContent> content;
    bool executable = false;
    bool hidden = false;
    bool support = false;
};

struct ManifestDirectory {
    std::string path;
    bool support = false;
};

// The entries of one depot manifest, written once every object has its name.
struct Depot {
    std::string manifestName;
    std::string gameId;
    std::string language;  // empty for the language-neutral depot
    std::vector<ManifestFile> files;
    std::vector<ManifestDirectory> directories;
    std::vector<SourceLink> links;
    std::set<std::string> paths;

    void claim(const std::string& path, bool support) {
        if (!paths.insert((support ? "support:" : "game:") + path).second) {
            throw std::runtime_error("depot " + manifestName + " lists " + path + " twice");
        }
    }
};

std::string joinPath(const std::string& a, const std::string& b) {
    return (b.empty() || b == ".") ? a : a + "/" + b;
}

void writeText(const std::string& path, const std::string& text) {
    Poco::File(Poco::Path(path).parent()).createDirectories();
    std::ofstream output(path, std::ios::binary | std::ios::trunc);
    output << text;
    if (!output) throw std::runtime_error("cannot write " + path);
}

std::string toJson(const Object::Ptr& object) {
    std::ostringstream text;
    object->stringify(text, 0);
    return text.str();
}

// Game files go below the install directory as they are; support files below
// the support directory in a directory named after the game, where the client
// looks for a support command's executable.
void addTree(Depot& depot, ObjectStore& store, const std::string& root, bool support) {
    SourceTree tree = SourceTree::Read(root);
    const std::string prefix = support ? depot.gameId + "/" : "";
    for (const std::string& directory : tree.directories) {
        depot.claim(prefix + directory, support);
        depot.directories.push_back({prefix + directory, support});
    }
    for (const SourceFile& file : tree.files) {
        depot.claim(prefix + file.relativePath, support);
        depot.files.push_back(
            {prefix + file.relativePath, store.storeFile(file.absolutePath), file.executable, file.hidden, support});
    }
    for (const SourceLink& link : tree.links) {
        if (support) throw std::runtime_error("support files cannot hold links: " + link.relativePath);
        depot.claim(link.relativePath, false);
        depot.links.push_back(link);
    }
}

Object::Ptr fileEntry(const ManifestFile& file) {
    Object::Ptr entry = new Object;
    entry->set("path", file.path);
    entry->set("size", static_cast<Poco::UInt64>(file.content->size));
    entry->set("hash", file.content->md5);
    entry->set("url", file.content->url);
    entry->set("offset", static_cast<Poco::UInt64>(file.content->offset));
    if (file.executable) entry->set("executable", true);
    if (file.hidden) entry->set("", true);
    if (file.support) entry->set("support", true);
    if (!file.content->parts.empty()) {
        Array::Ptr parts = new Array;
        for (uint32_t part : file.content->parts) parts->add(static_cast<Poco::UInt64>(part));
        entry->set("parts", parts);
        entry->set("partSize", static_cast<Poco::UInt64>(CatalogueLayout::ZIP_PART_SIZE));
    }
    return entry;
}

// Directories first (so that their files have a place), then files, then links,
// each in path order.
std::string depotManifestText(const Depot& depot) {
    Array::Ptr entries = new Array;
    for (const ManifestDirectory& directory : depot.directories) {
        Object::Ptr entry = new Object;
        entry->set("path", directory.path);
        entry->set("directory", true);
        if (directory.support) entry->set("support", true);
        entries->add(entry);
    }
    std::vector<ManifestFile> files = depot.files;
    std::sort(files.begin(), files.end(), [](const ManifestFile& a, const ManifestFile& b) {
        return a.support != b.support ? !a.support : a.path < b.path;
    });
    for (const ManifestFile& file : files) entries->add(fileEntry(file));
    for (const SourceLink& link : depot.links) {
        Object::Ptr entry = new Object;
        entry->set("path", link.relativePath);
        entry->set("target", link.target);
        entry->set("symlinkType", link.type);
        entries->add(entry);
    }
    Object::Ptr body = new Object;
    body->set("files", entries);
    Object::Ptr root = new Object;
    root->set("version", 1);
    root->set("depot", body);
    return toJson(root);
}

uint64_t depotSize(const Depot& depot) {
    uint64_t total = 0;
    for (const ManifestFile& file : depot.files) total += file.content->size;
    return total;
}

std::string infoFileText(const GameDescription& game, const std::string& baseGameId, const std::string& language) {
    Object::Ptr info = new Object;
    info->set("gameId", game.gameId);
    info->set("dependencyGameId", game.gameId == baseGameId ? std::string() : baseGameId);
    info->set("language", language);
    info->set("name", game.name);
    info->set("workingDir", game.workingDir);
    info->set("playTasks", game.playTasks);
    if (!game.subtitle.empty()) {
        Object::Ptr extended = new Object;
        extended->set("subtitle", game.subtitle);
        info->set("extendedProperties", extended);
    }
    return toJson(info);
}

Object::Ptr gameIdEntry(const GameDescription& game) {
    Object::Ptr entry = new Object;
    entry->set("gameID", game.gameId);
    entry->set("standalone", game.standalone);
    Array::Ptr dependencies = new Array;
    for (const std::string& dependency : game.dependencies) dependencies->add(dependency);
    entry->set("dependencies", dependencies);
    Object::Ptr names = new Object;
    names->set("neutral", game.name);
    entry->set("name", names);
    return entry;
}

Object::Ptr depotEntry(const Depot& depot) {
    Object::Ptr entry = new Object;
    Array::Ptr gameIds = new Array;
    gameIds->add(depot.gameId);
    entry->set("gameIDs", gameIds);
    Array::Ptr languages = new Array;
    languages->add(depot.language.empty() ? std::string("Neutral") : depot.language);
    entry->set("languages", languages);
    entry->set("manifest", depot.manifestName);
    entry->set("size", static_cast<Poco::UInt64>(depotSize(depot)));
    return entry;
}

Object::Ptr redistEntry(const RedistDescription& redist) {
    Object::Ptr entry = new Object;
    entry->set("redist", redist.name);
    entry->set("executable", redist.executable);
    entry->set("argument", redist.argument);
    if (!redist.targetDir.empty()) entry->set("targetDir", redist.targetDir);
    return entry;
}

std::string redistManifestName(const std::string& redistName) {
    return redistName + ".json";
}

}  // namespace

Packer::Packer(const PackDescription& description, const std::string& inputRoot, const std::string& catalogueRoot)
    : m_description(description), m_inputRoot(inputRoot), m_catalogueRoot(catalogueRoot) {}

std::string Packer::InfoFileName(const std::string& gameId) {
    return ".zorvgame-" + gameId + ".info";
}

bool Packer::pack(PackSummary& summary, std::string& error) {
    try {
        summary = PackSummary();
        packAll(summary);
        return true;
    } catch (const Poco::Exception& exception) {
        error = exception.displayText();
    } catch (const std::exception& exception) {
        error = exception.what();
    }
    return false;
}

void Packer::packAll(PackSummary& summary) {
    const std::string& baseGameId = m_description.baseGame().gameId;
    const std::string cover = readCover();
    std::vector<Depot> depots;
    for (const GameDescription& game : m_description.games) {
        ObjectStore store(joinPath(m_catalogueRoot, CatalogueLayout::ObjectPath(game.gameId, "")), game.gameId);
        size_t first = depots.size();
        if (!game.directory.empty() || !game.supportDirectory.empty()) {
            Depot neutral;
            neutral.manifestName = game.gameId + "_common.json";
            neutral.gameId = game.gameId;
            if (!game.directory.empty()) addTree(neutral, store, joinPath(m_inputRoot, game.directory), false);
            if (!game.supportDirectory.empty()) addTree(neutral, store, joinPath(m_inputRoot, game.supportDirectory), true);
            depots.push_back(neutral);
        }
        for (const std::string& language : m_description.languages) {
            Depot localized;
            localized.manifestName = game.gameId + "_" + language + ".json";
            localized.gameId = game.gameId;
            localized.language = language;
            auto directory = game.languageDirectories.find(language);
            if (directory != game.languageDirectories.end()) {
                addTree(localized, store, joinPath(m_inputRoot, directory->second), false);
            }
            const std::string infoName = InfoFileName(game.gameId);
            if (depots.size() > first && depots[first].paths.count("game:" + infoName)) {
                throw std::runtime_error("game " + game.gameId + " already holds a file named " + infoName);
            }
            localized.claim(infoName, false);
            localized.files.push_back(
                {infoName, store.storeBytes(infoFileText(game, baseGameId, language)), false, true, false});
            depots.push_back(localized);
        }
        store.finish();
    }

    // Re-packing a product replaces its manifests; objects are kept, as they are
    // named by content and older manifests may still point at them.
    const std::string productDirectory = joinPath(m_catalogueRoot, CatalogueLayout::GamesDirectory() + "/" + baseGameId);
    if (Poco::File(productDirectory).exists()) Poco::File(productDirectory).remove(true);
    writeCover(cover);

    Array::Ptr depotEntries = new Array;
    for (const Depot& depot : depots) {
        writeText(joinPath(m_catalogueRoot, CatalogueLayout::DepotManifestPath(baseGameId, depot.manifestName)),
                  depotManifestText(depot));
        depotEntries->add(depotEntry(depot));
        summary.files += depot.files.size();
        summary.bytes += depotSize(depot);
        ++summary.depots;
    }

    for (const RedistDescription& redist : m_description.redistributables) {
        ObjectStore store(joinPath(m_catalogueRoot, CatalogueLayout::RedistObjectPath(redist.name, "")), redist.name);
        Depot depot;
        depot.manifestName = redistManifestName(redist.name);
        addTree(depot, store, joinPath(m_inputRoot, redist.directory), false);
        store.finish();
        writeText(joinPath(m_catalogueRoot, CatalogueLayout::RedistManifestPath(depot.manifestName)),
                  depotManifestText(depot));
        depotEntries->add(redistEntry(redist));
        summary.files += depot.files.size();
        summary.bytes += depotSize(depot);
        ++summary.depots;
    }
    writeRedistRepository();

    Array::Ptr gameIds = new Array;
    for (const GameDescription& game : m_description.games) gameIds->add(gameIdEntry(game));
    Array::Ptr supportCommands = new Array;
    for (const SupportCommandDescription& command : m_description.supportCommands) {
        Object::Ptr entry = new Object;
        entry->set("gameID", command.gameId);
        entry->set("executable", command.executable);
        entry->set("argument", command.argument);
        supportCommands->add(entry);
    }
    Object::Ptr product = new Object;
    product->set("rootGameID", baseGameId);
    product->set("installDirectory", m_description.installDirectory);
    product->set("timestamp", static_cast<Poco::Int64>(m_description.timestamp));
    product->set("gameIDs", gameIds);
    product->set("depots", depotEntries);
    product->set("support_commands", supportCommands);
    Object::Ptr root = new Object;
    root->set("version", 1);
    root->set("product", product);
    writeText(joinPath(m_catalogueRoot, CatalogueLayout::ProductManifestPath(baseGameId)), toJson(root));
}

std::string Packer::readCover() const {
    for (const char* name : CoverPicture::INPUT_NAMES) {
        Poco::File file(joinPath(m_inputRoot, name));
        if (!file.exists()) continue;
        // Not read at all when it is plainly too large.
        if (!file.isFile() || file.getSize() > CoverPicture::MAX_BYTES) {
            throw std::runtime_error(std::string(name) + " is no file of at most " +
                                     std::to_string(CoverPicture::MAX_BYTES) + " bytes");
        }
        std::ifstream input(file.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << input.rdbuf();
        CoverPicture picture;
        std::string error;
        if (!input || !CoverPicture::Inspect(bytes.str(), picture, error)) {
            throw std::runtime_error(std::string(name) + " " + (error.empty() ? "cannot be read" : error));
        }
        return bytes.str();
    }
    return "";
}

// A re-pack without a cover takes the old one away.
void Packer::writeCover(const std::string& cover) const {
    for (const GameDescription& game : m_description.games) {
        const std::string path = joinPath(m_catalogueRoot, CatalogueLayout::CoverPath(game.gameId));
        if (cover.empty()) {
            if (Poco::File(path).exists()) Poco::File(path).remove();
        } else {
            writeText(path, cover);
        }
    }
}

// The repository lists every redistributable of the catalogue, whichever pack
// brought it, so it is rebuilt from the manifests folder after each pack.
void Packer::writeRedistRepository() {
    const std::string manifests = joinPath(m_catalogueRoot, CatalogueLayout::RedistManifestPath(""));
    std::vector<std::string> names;
    if (Poco::File(manifests).exists()) {
        for (Poco::DirectoryIterator it(manifests), end; it != end; ++it) {
            const std::string suffix = ".json";
            const std::string& name = it.name();
            if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                names.push_back(name);
            }
        }
    }
    std::sort(names.begin(), names.end());
    Array::Ptr depots = new Array;
    for (const std::string& name : names) {
        Object::Ptr entry = new Object;
        Array::Ptr gameIds = new Array;
        gameIds->add(name.substr(0, name.size() - 5));
        entry->set("gameIDs", gameIds);
        entry->set("manifest", name);
        depots->add(entry);
    }
    Object::Ptr product = new Object;
    product->set("depots", depots);
    Object::Ptr root = new Object;
    root->set("version", 1);
    root->set("product", product);
    writeText(joinPath(m_catalogueRoot, CatalogueLayout::RedistRepositoryPath()), toJson(root));
}

}  // namespace Pack
}  // namespace VantisClient
