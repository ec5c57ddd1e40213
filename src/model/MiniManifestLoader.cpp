#include "model/MiniManifestLoader.h"

#include <algorithm>

#include <Poco/DirectoryIterator.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/JSON/Array.h>

#include "common/Logger.h"
#include "common/json/JsonSerializer.h"

namespace VantisClient {

namespace {

const char* const INFO_FILE_PREFIX = ".zorvgame-";
const char* const INFO_FILE_SUFFIX = ".info";
const char* const ICON_FILE_PREFIX = "zorvgame-";
const char* const ICON_FILE_SUFFIX = ".icns";

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void appendUnique(std::vector<PlayTaskStruct>& tasks, const PlayTaskStruct& task) {
    if (std::find(tasks.begin(), tasks.end(), task) == tasks.end()) tasks.push_back(task);
}

}  // namespace

MiniManifestLoader::MiniManifestLoader(const std::string& gameId, const std::string& installPath)
    : m_gameId(gameId), m_installPath(installPath) {}

const std::string& MiniManifestLoader::getErrorBuffer() const { return m_errorBuffer; }

Poco::SharedPtr<MiniManifestContents> MiniManifestLoader::loadAndMergeMiniManifests() {
    Poco::SharedPtr<MiniManifestContents> contents(new MiniManifestContents(m_gameId, m_installPath));
    for (const InfoFile& file : readInfoFiles()) {
        RawManifest manifest;
        if (parseRawManifest(file, manifest)) merge(manifest, *contents);
    }
    loadIcon(*contents);
    return contents;
}

std::vector<MiniManifestLoader::InfoFile> MiniManifestLoader::readInfoFiles() {
    std::vector<InfoFile> files;
    for (const std::string& path : listMatchingFiles(INFO_FILE_PREFIX, INFO_FILE_SUFFIX)) {
        Logger::LogInfo("Loading minimanifest %s", path.c_str());
        InfoFile file{path, nullptr};
        if (JsonSerializer().readFromFile(file.document, path)) {
            files.push_back(file);
        } else {
            m_errorBuffer += "Failed parsing " + path + " from gameId " + m_gameId + "; ";
        }
    }
    return files;
}

bool MiniManifestLoader::parseRawManifest(const InfoFile& file, RawManifest& manifest) {
    const Poco::JSON::Object::Ptr& document = file.document;
    try {
        manifest.gameId = document->getValue<std::string>("gameId");
        manifest.dependencyGameId = document->getValue<std::string>("dependencyGameId");
        manifest.language = document->getValue<std::string>("language");
        manifest.name = document->getValue<std::string>("name");
        manifest.workingDir = document->getValue<std::string>("workingDir");
        Poco::JSON::Object::Ptr properties = document->getObject("extendedProperties");
        if (!properties.isNull() && properties->has("subtitle")) {
            manifest.subtitle = properties->getValue<std::string>("subtitle");
        }
    } catch (const Poco::Exception&) {
        // A file without its identity cannot be merged; the other files still count.
        m_errorBuffer += "Skipped " + file.path + " from gameId " + m_gameId +
                         ": a required key is missing or unreadable; ";
        return false;
    }
    readPlayTasks(document, "playTasks", manifest);
    readPlayTasks(document, "supportTasks", manifest);
    return true;
}

void MiniManifestLoader::readPlayTasks(const Poco::JSON::Object::Ptr& document, const std::string& key,
                                       RawManifest& manifest) {
    if (!document->has(key)) return;
    Poco::JSON::Array::Ptr tasks = document->getArray(key);
    bool anyRejected = tasks.isNull();
    for (size_t i = 0; !tasks.isNull() && i < tasks->size(); ++i) {
        Poco::JSON::Object::Ptr element = tasks->getObject(static_cast<unsigned>(i));
        PlayTaskStruct task(manifest.workingDir, manifest.name);
        if (!element.isNull() && task.deserializeFromJSON(element)) {
            appendUnique(manifest.playTasks, task);
        } else {
            anyRejected = true;
        }
    }
    if (anyRejected) m_errorBuffer += "Failed loading playtasks from gameId " + m_gameId + "; ";
}

void MiniManifestLoader::merge(const RawManifest& manifest, MiniManifestContents& contents) {
    if (!contents.installedGameIds.containsGID(manifest.gameId)) {
        contents.installedGameIds.push_back(manifest.gameId);
    }
    if (manifest.dependencyGameId.empty() || manifest.dependencyGameId == manifest.gameId) {
        contents.language = manifest.language;
        contents.name = manifest.name;
        contents.subtitle = manifest.subtitle;
    }
    for (const PlayTaskStruct& task : manifest.playTasks) appendUnique(contents.playTasks, task);
}

void MiniManifestLoader::loadIcon(MiniManifestContents& contents) const {
    std::vector<std::string> icons = listMatchingFiles(ICON_FILE_PREFIX, ICON_FILE_SUFFIX);
    // The client itself only needs the path; a shell that shows the icon decodes it.
    if (!icons.empty()) contents.iconPath = icons.front();
}

std::vector<std::string> MiniManifestLoader::listMatchingFiles(const std::string& prefix,
                                                               const std::string& suffix) const {
    std::vector<std::string> paths;
    if (m_installPath.empty()) return paths;
    try {
        Poco::DirectoryIterator end;
        for (Poco::DirectoryIterator entry(m_installPath); entry != end; ++entry) {
            const std::string& fileName = entry.name();
            // Only matching names are looked at: a dangling link elsewhere in a game
            // directory must not stop the listing.
            if (!startsWith(fileName, prefix) || !endsWith(fileName, suffix)) continue;
            if (entry->isDirectory()) continue;
            paths.push_back(entry.path().toString());
        }
    } catch (const Poco::Exception& e) {
        Logger::LogError(
            "Error while searching dir for matching files, dir (%s), prefix (%s), postfix (%s). Exception: %s, "
            "Message: %s.",
            m_installPath.c_str(), prefix.c_str(), suffix.c_str(), e.name(), e.message().c_str());
    }
    // Directory order differs between file systems; a stable order keeps the merge
    // (which base-game file wins, which label a shared task keeps) reproducible.
    std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace VantisClient
