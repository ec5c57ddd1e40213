#include "pack/PackDescription.h"

#include <set>
#include <stdexcept>

#include <Poco/Exception.h>
#include <Poco/JSON/Parser.h>

#include "catalogue/CatalogueLayout.h"

namespace VantisClient {
namespace Pack {

namespace {

using Catalogue::CatalogueLayout;

class DescriptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string requiredString(const Poco::JSON::Object::Ptr& object, const std::string& key, const std::string& where) {
    if (!object->has(key) || !object->get(key).isString()) {
        throw DescriptionError(where + ": \"" + key + "\" must be a string");
    }
    return object->getValue<std::string>(key);
}

std::string optionalString(const Poco::JSON::Object::Ptr& object, const std::string& key,
                           const std::string& fallback = "") {
    if (!object->has(key) || object->isNull(key)) return fallback;
    if (!object->get(key).isString()) throw DescriptionError("\"" + key + "\" must be a string");
    return object->getValue<std::string>(key);
}

Poco::JSON::Array::Ptr optionalArray(const Poco::JSON::Object::Ptr& object, const std::string& key) {
    if (!object->has(key)) return new Poco::JSON::Array;
    Poco::JSON::Array::Ptr array = object->getArray(key);
    if (!array) throw DescriptionError("\"" + key + "\" must be an array");
    return array;
}

Poco::JSON::Object::Ptr objectAt(const Poco::JSON::Array::Ptr& array, size_t index, const std::string& where) {
    Poco::JSON::Object::Ptr object = array->getObject(static_cast<unsigned>(index));
    if (!object) throw DescriptionError(where + " entries must be objects");
    return object;
}

void requireGameId(const std::string& gameId, const std::string& where) {
    if (gameId.empty() || gameId.find_first_not_of("0123456789") != std::string::npos) {
        throw DescriptionError(where + ": game id \"" + gameId + "\" must be decimal digits");
    }
}

void requireDirectory(const std::string& directory, const std::string& where) {
    if (!directory.empty() && directory != "." && !CatalogueLayout::IsSafeRelativePath(directory)) {
        throw DescriptionError(where + ": directory \"" + directory + "\" must stay inside the input root");
    }
}

GameDescription parseGame(const Poco::JSON::Object::Ptr& object, const std::string& baseGameId) {
    GameDescription game;
    game.gameId = requiredString(object, "gameId", "game");
    requireGameId(game.gameId, "game");
    const std::string where = "game " + game.gameId;
    game.name = requiredString(object, "name", where);
    game.subtitle = optionalString(object, "subtitle");
    game.workingDir = optionalString(object, "workingDir");
    game.standalone = object->has("standalone") ? object->getValue<bool>("standalone") : baseGameId.empty();
    Poco::JSON::Array::Ptr dependencies = optionalArray(object, "dependencies");
    for (size_t i = 0; i < dependencies->size(); ++i) game.dependencies.push_back(dependencies->getElement<std::string>(i));
    if (!baseGameId.empty() && !object->has("dependencies")) game.dependencies.push_back(baseGameId);
    game.directory = optionalString(object, "directory");
    requireDirectory(game.directory, where);
    game.supportDirectory = optionalString(object, "supportDirectory");
    requireDirectory(game.supportDirectory, where);
    if (object->has("languageDirectories")) {
        Poco::JSON::Object::Ptr languages = object->getObject("languageDirectories");
        if (!languages) throw DescriptionError(where + ": \"languageDirectories\" must be an object");
        for (const auto& member : *languages) {
            game.languageDirectories[member.first] = member.second.convert<std::string>();
            requireDirectory(member.second.convert<std::string>(), where);
        }
    }
    game.playTasks = optionalArray(object, "playTasks");
    return game;
}

void parseInto(const Poco::JSON::Object::Ptr& root, PackDescription& description) {
    GameDescription base = parseGame(root, "");
    description.installDirectory = optionalString(root, "installDirectory", base.name);
    if (!CatalogueLayout::IsSafeComponent(description.installDirectory)) {
        throw DescriptionError("\"installDirectory\" must be one plain directory name");
    }
    if (root->has("timestamp")) description.timestamp = root->getValue<int64_t>("timestamp");

    Poco::JSON::Array::Ptr languages = optionalArray(root, "languages");
    for (size_t i = 0; i < languages->size(); ++i) {
        std::string language = languages->getElement<std::string>(i);
        if (!CatalogueLayout::IsSafeComponent(language)) throw DescriptionError("bad language \"" + language + "\"");
        description.languages.push_back(language);
    }
    if (description.languages.empty()) throw DescriptionError("\"languages\" must name at least one language");

    description.games.push_back(base);
    Poco::JSON::Array::Ptr extras = optionalArray(root, "extraContent");
    for (size_t i = 0; i < extras->size(); ++i) {
        description.games.push_back(parseGame(objectAt(extras, i, "extraContent"), base.gameId));
    }
    std::set<std::string> gameIds;
    for (const GameDescription& game : description.games) {
        if (!gameIds.insert(game.gameId).second) throw DescriptionError("game id " + game.gameId + " given twice");
        for (const auto& entry : game.languageDirectories) {
            bool known = false;
            for (const std::string& language : description.languages) known = known || language == entry.first;
            if (!known) throw DescriptionError("game " + game.gameId + ": language \"" + entry.first + "\" is not listed");
        }
    }

    Poco::JSON::Array::Ptr commands = optionalArray(root, "supportCommands");
    for (size_t i = 0; i < commands->size(); ++i) {
        Poco::JSON::Object::Ptr command = objectAt(commands, i, "supportCommands");
        SupportCommandDescription support;
        support.gameId = optionalString(command, "gameId", base.gameId);
        support.executable = requiredString(command, "executable", "support command");
        support.argument = optionalString(command, "argument");
        description.supportCommands.push_back(support);
    }

    Poco::JSON::Array::Ptr redists = optionalArray(root, "redistributables");
    std::set<std::string> redistNames;
    for (size_t i = 0; i < redists->size(); ++i) {
        Poco::JSON::Object::Ptr entry = objectAt(redists, i, "redistributables");
        RedistDescription redist;
        redist.name = requiredString(entry, "name", "redistributable");
        if (!CatalogueLayout::IsSafeComponent(redist.name) || redist.name == CatalogueLayout::REDIST_MANIFESTS_KEY) {
            throw DescriptionError("redistributable name \"" + redist.name + "\" is not usable");
        }
        if (!redistNames.insert(redist.name).second) throw DescriptionError("redistributable " + redist.name + " given twice");
        redist.directory = requiredString(entry, "directory", "redistributable " + redist.name);
        requireDirectory(redist.directory, "redistributable " + redist.name);
        redist.executable = optionalString(entry, "executable");
        redist.argument = optionalString(entry, "argument");
        redist.targetDir = optionalString(entry, "targetDir");
        description.redistributables.push_back(redist);
    }
}

}  // namespace

bool PackDescription::Parse(const std::string& text, PackDescription& description, std::string& error) {
    try {
        Poco::JSON::Parser parser;
        Poco::JSON::Object::Ptr root = parser.parse(text).extract<Poco::JSON::Object::Ptr>();
        description = PackDescription();
        parseInto(root, description);
        return true;
    } catch (const DescriptionError& exception) {
        error = exception.what();
    } catch (const Poco::Exception& exception) {
        error = exception.displayText();
    }
    return false;
}

}  // namespace Pack
}  // namespace VantisClient
