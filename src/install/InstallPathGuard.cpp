#include "install/InstallPathGuard.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <Poco/Path.h>

#include "common/Logger.h"
#include "common/FileDescriptor.h"

namespace VantisClient {

namespace {

// Descriptors that can only name a directory: enough to look below it, and
// they need no read permission on it.
const int DIRECTORY_HANDLE = O_PATH | O_DIRECTORY | O_CLOEXEC;

bool isAbsolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

bool refuseUninspectable(const std::string& path, const std::string& entry) {
    Logger::LogError("Refusing the path '%s': '%s' cannot be inspected: %s", path.c_str(), entry.c_str(),
                     std::strerror(errno));
    return false;
}

}  // namespace

bool InstallPathGuard::isInside(const std::string& root, const std::string& path, LastComponent last) {
    std::vector<std::string> relative;
    if (!relativeComponents(root, path, relative)) {
        Logger::LogError("Refusing the path '%s': it does not name anything below '%s'.", path.c_str(), root.c_str());
        return false;
    }
    return walk(root, path, relative, last);
}

std::vector<std::string> InstallPathGuard::components(const std::string& path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path + '/') {
        if (c != '/') {
            current += c;
        } else if (!current.empty()) {
            parts.push_back(current);
            current.clear();
        }
    }
    return parts;
}

bool InstallPathGuard::relativeComponents(const std::string& root, const std::string& path,
                                          std::vector<std::string>& relative) {
    if (!isAbsolute(root) || !isAbsolute(path)) return false;
    // Paths below the root are joined by Poco::Path, which settles "." and ".."
    // of the root as text; the root is compared in the same form.
    const std::vector<std::string> rootParts = components(Poco::Path(root).toString());
    const std::vector<std::string> pathParts = components(path);
    if (pathParts.size() <= rootParts.size()) return false;
    for (size_t i = 0; i < rootParts.size(); ++i) {
        if (pathParts[i] != rootParts[i]) return false;
    }
    relative.assign(pathParts.begin() + static_cast<std::ptrdiff_t>(rootParts.size()), pathParts.end());
    for (const std::string& part : relative) {
        if (part == "." || part == "..") return false;
    }
    return true;
}

bool InstallPathGuard::walk(const std::string& root, const std::string& path, const std::vector<std::string>& relative,
                            LastComponent last) {
    FileDescriptor directory(::open(root.c_str(), DIRECTORY_HANDLE));
    // Nothing below a root that does not exist yet can be a link.
    if (!directory.isOpen()) return errno == ENOENT || refuseUninspectable(path, root);
    std::string reached = root;
    while (reached.size() > 1 && reached.back() == '/') reached.pop_back();
    for (size_t i = 0; i < relative.size(); ++i) {
        const bool isLast = i + 1 == relative.size();
        reached += "/" + relative[i];
        struct stat status {};
        if (::fstatat(directory.get(), relative[i].c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            return errno == ENOENT || refuseUninspectable(path, reached);
        }
        if (S_ISLNK(status.st_mode)) {
            if (isLast && last == LastComponent::MayBeLink) return true;
            Logger::LogError("Refusing the path '%s': '%s' is a symbolic link.", path.c_str(), reached.c_str());
            return false;
        }
        // A file in the way is replaced by a real directory or fails the
        // operation; either way nothing is followed.
        if (isLast || !S_ISDIR(status.st_mode)) return true;
        directory.reset(::openat(directory.get(), relative[i].c_str(), DIRECTORY_HANDLE | O_NOFOLLOW));
        if (!directory.isOpen()) return refuseUninspectable(path, reached);
    }
    return true;
}

}  // namespace VantisClient
