// The packer's input: a game, its extra content, languages, support commands and
// redistributables, read from a small JSON description. Directories are relative
// to the input root given on the command line.
//
// {
//   "gameId": "1207658924", "name": "Sample Game", "installDirectory": "Sample Game",
//   "timestamp": 1, "languages": ["en", "de"],
//   "directory": "base/common", "languageDirectories": {"en": "base/en", "de": "base/de"},
//   "supportDirectory": "base/support", "subtitle": "...", "workingDir": "",
//   "playTasks": [{"isPrimary": true, "type": "FileTask", "path": "bin/game"}],
//   "extraContent": [{"gameId": "...", "name": "...", "directory": "...", ...}],
//   "supportCommands": [{"gameId": "...", "executable": "...", "argument": "..."}],
//   "redistributables": [{"name": "runtime", "directory": "redist/runtime",
//                         "executable": "...", "argument": "...", "targetDir": "..."}]
// }
//
// Thread-safety: a plain value.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <Poco/JSON/Array.h>

namespace VantisClient {
namespace Pack {

struct GameDescription {
    std::string gameId;
    std::string name;
    std::string subtitle;
    std::string workingDir;
    bool standalone = true;
    std::vector<std::string> dependencies;
    std::string directory;                              // language-neutral files; may be empty
    std::map<std::string, std::string> languageDirectories;  // language -> directory
    std::string supportDirectory;                       // support files; may be empty
    Poco::JSON::Array::Ptr playTasks;                   // copied into the info files as given
};

struct SupportCommandDescription {
    std::string gameId;
    std::string executable;
    std::string argument;
};

struct RedistDescription {
    std::string name;
    std::string directory;
    std::string executable;
    std::string argument;
    std::string targetDir;
};

struct PackDescription {
    std::string installDirectory;
    int64_t timestamp = 1;
    std::vector<std::string> languages;
    std::vector<GameDescription> games;  // the base game first, then its extra content
    std::vector<SupportCommandDescription> supportCommands;
    std::vector<RedistDescription> redistributables;

    const GameDescription& baseGame() const { return games.front(); }

    // False with a reason in `error` when the text is no valid description.
    static bool Parse(const std::string& text, PackDescription& description, std::string& error);
};

}  // namespace Pack
}  // namespace VantisClient
