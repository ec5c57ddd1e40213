#include "pack/SourceTree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include <Poco/DirectoryIterator.h>
#include <Poco/Exception.h>

namespace VantisClient {
namespace Pack {

namespace {

std::string join(const std::string& a, const std::string& b) {
    return a.empty() ? b : a + "/" + b;
}

// The target resolved against the link's directory, by text alone; empty when
// it climbs above the root.
std::string resolveInside(const std::string& linkDirectory, const std::string& target) {
    std::vector<std::string> parts;
    std::string combined = join(linkDirectory, target);
    size_t start = 0;
    while (start <= combined.size()) {
        size_t slash = combined.find('/', start);
        if (slash == std::string::npos) slash = combined.size();
        std::string part = combined.substr(start, slash - start);
        if (part == "..") {
            if (parts.empty()) return "";
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string resolved = ".";
    for (const std::string& part : parts) resolved = resolved == "." ? part : resolved + "/" + part;
    return resolved;
}

}  // namespace

SourceTree SourceTree::Read(const std::string& root) {
    struct stat info {};
    if (stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        throw std::runtime_error("not a directory: " + root);
    }
    SourceTree tree;
    tree.walk(root, "");
    return tree;
}

void SourceTree::walk(const std::string& root, const std::string& relative) {
    std::vector<std::string> names;
    try {
        for (Poco::DirectoryIterator it(join(root, relative)), end; it != end; ++it) names.push_back(it.name());
    } catch (const Poco::Exception& exception) {
        throw std::runtime_error("cannot list " + join(root, relative) + ": " + exception.displayText());
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string childRelative = join(relative, name);
        const std::string childAbsolute = join(root, childRelative);
        struct stat info {};
        if (lstat(childAbsolute.c_str(), &info) != 0) throw std::runtime_error("cannot read " + childAbsolute);
        if (S_ISLNK(info.st_mode)) {
            addLink(root, childRelative);
        } else if (S_ISDIR(info.st_mode)) {
            directories.push_back(childRelative);
            walk(root, childRelative);
        } else if (S_ISREG(info.st_mode)) {
            files.push_back({childRelative, childAbsolute, (info.st_mode & S_IXUSR) != 0, name[0] == '.'});
        } else {
            throw std::runtime_error("not a file, directory or link: " + childAbsolute);
        }
    }
}

void SourceTree::addLink(const std::string& root, const std::string& relative) {
    const std::string absolute = join(root, relative);
    std::string target(4096, '\0');
    ssize_t length = readlink(absolute.c_str(), &target[0], target.size());
    if (length <= 0) throw std::runtime_error("cannot read link " + absolute);
    target.resize(static_cast<size_t>(length));
    size_t slash = relative.rfind('/');
    std::string resolved = resolveInside(slash == std::string::npos ? "" : relative.substr(0, slash), target);
    if (target[0] == '/' || resolved.empty()) {
        throw std::runtime_error("link " + relative + " points outside the game: " + target);
    }
    struct stat info {};
    bool isDirectory = stat(join(root, resolved).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    links.push_back({relative, target, isDirectory ? "directory" : "file"});
}

}  // namespace Pack
}  // namespace VantisClient
