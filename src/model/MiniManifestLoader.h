// Reads every info file (".zorvgame-*.info") directly inside a game's
// installation directory and merges them into one MiniManifestContents: the base
// game's file names the game, every file (base game and extra content) adds its
// game id and play tasks. A file that cannot be used is skipped and described in
// the error text; it never stops the others.
// Thread-safety: one loader per load; not shared between threads.
#pragma once

#include <string>
#include <vector>

#include <Poco/JSON/Object.h>
#include <Poco/SharedPtr.h>

#include "model/MiniManifestContents.h"

namespace VantisClient {

class MiniManifestLoader {
public:
    MiniManifestLoader(const std::string& gameId, const std::string& installPath);

    Poco::SharedPtr<MiniManifestContents> loadAndMergeMiniManifests();
    // One sentence per failure, in the order they happened; empty when none.
    const std::string& getErrorBuffer() const;

private:
    struct RawManifest {
        std::string gameId;
        std::string dependencyGameId;
        std::string language;
        std::string name;
        std::string workingDir;
        std::string subtitle;
        std::vector<PlayTaskStruct> playTasks;
    };
    struct InfoFile {
        std::string path;
        Poco::JSON::Object::Ptr document;
    };

    std::vector<InfoFile> readInfoFiles();
    bool parseRawManifest(const InfoFile& file, RawManifest& manifest);
    void readPlayTasks(const Poco::JSON::Object::Ptr& document, const std::string& key, RawManifest& manifest);
    static void merge(const RawManifest& manifest, MiniManifestContents& contents);
    void loadIcon(MiniManifestContents& contents) const;
    // Full paths of the plain entries of the installation directory whose name
    // starts with `prefix` and ends with `suffix`, sorted by name.
    std::vector<std::string> listMatchingFiles(const std::string& prefix, const std::string& suffix) const;

    std::string m_gameId;
    std::string m_installPath;
    std::string m_errorBuffer;
};

}  // namespace VantisClient
