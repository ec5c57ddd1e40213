#include "install/RunningGameDetector.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace VantisClient {

namespace {

const char* const PROCESSES = "/proc";

// The names in a directory; none when it cannot be read.
std::vector<std::string> entryNames(const std::string& directory) {
    std::vector<std::string> names;
    DIR* stream = ::opendir(directory.c_str());
    if (stream == nullptr) return names;
    while (const dirent* entry = ::readdir(stream)) names.emplace_back(entry->d_name);
    ::closedir(stream);
    return names;
}

// Empty when the link cannot be read.
std::string linkTarget(const std::string& link) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof(target));
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

bool isProcessId(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

RunningGameDetector::RunningGameDetector(const std::vector<std::string>& directories) {
    for (const std::string& directory : directories) {
        char resolved[PATH_MAX];
        if (::realpath(directory.c_str(), resolved) != nullptr) m_directories.emplace_back(resolved);
    }
}

bool RunningGameDetector::findUse(Use& use) const {
    if (m_directories.empty()) return false;
    const std::string ownId = std::to_string(::getpid());
    for (const std::string& name : entryNames(PROCESSES)) {
        if (!isProcessId(name) || name == ownId) continue;
        if (processUses(std::string(PROCESSES) + "/" + name, use.file)) {
            use.processId = name;
            return true;
        }
    }
    return false;
}

bool RunningGameDetector::processUses(const std::string& processDirectory, std::string& file) const {
    return runsFromDirectories(processDirectory, file) || mapsFromDirectories(processDirectory, file) ||
           holdsOpenInDirectories(processDirectory, file);
}

bool RunningGameDetector::runsFromDirectories(const std::string& processDirectory, std::string& file) const {
    file = linkTarget(processDirectory + "/exe");
    return isBelowDirectories(file);
}

bool RunningGameDetector::mapsFromDirectories(const std::string& processDirectory, std::string& file) const {
    std::ifstream maps(processDirectory + "/maps");
    std::string line;
    while (std::getline(maps, line)) {
        // The mapped file's name is the rest of the line from its first '/';
        // the columns before it hold none.
        const size_t name = line.find('/');
        if (name == std::string::npos) continue;
        file = line.substr(name);
        if (isBelowDirectories(file)) return true;
    }
    return false;
}

bool RunningGameDetector::holdsOpenInDirectories(const std::string& processDirectory, std::string& file) const {
    const std::string descriptors = processDirectory + "/fd";
    for (const std::string& name : entryNames(descriptors)) {
        file = linkTarget(descriptors + "/" + name);
        if (isBelowDirectories(file)) return true;
    }
    return false;
}

bool RunningGameDetector::isBelowDirectories(const std::string& path) const {
    // A file replaced or deleted while in use keeps its old name, with
    // " (deleted)" after it: still below the directory, still in use.
    return std::any_of(m_directories.begin(), m_directories.end(), [&path](const std::string& directory) {
        return path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
               path[directory.size()] == '/';
    });
}

}  // namespace VantisClient
