#include "service/DirectoryPrivilegeFixer.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <Poco/Error.h>

#include "common/FileDescriptor.h"

namespace VantisClient {
namespace Service {
namespace {

using Code = zorv::protocols::pb::Response::Code;
namespace pb = zorv::protocols::pb;

const int PATH_FLAGS = O_PATH | O_NOFOLLOW | O_CLOEXEC;

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The name of a path descriptor's own inode: a chmod through it reaches that
// inode, never what a link might point at.
std::string descriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

mode_t withOwnerRights(const struct stat& status) {
    mode_t mode = (status.st_mode & 07777) | S_IRUSR | S_IWUSR;
    if (S_ISDIR(status.st_mode) || (status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0) mode |= S_IXUSR;
    return mode;
}

}  // namespace

DirectoryPrivilegeFixer::DirectoryPrivilegeFixer(uid_t owner) : m_owner(owner) {}

Code DirectoryPrivilegeFixer::fix(const std::string& path, std::string& detail) {
    int pathFd = -1;
    const Code refusal = openRequested(path, pathFd, detail);
    if (refusal != pb::Response::OK) return refusal;
    if (!fixEntry(pathFd, 0)) {
        detail = std::to_string(m_failed) + " entries could not be fixed";
        return pb::Response::INTERNAL_ERROR;
    }
    detail = std::to_string(m_changed) + " entries changed";
    return pb::Response::OK;
}

Code DirectoryPrivilegeFixer::openRequested(const std::string& path, int& pathFd, std::string& detail) {
    const std::vector<std::string> parts = components(path);
    if (path.empty() || path[0] != '/' || parts.empty()) {
        detail = "not an absolute path of a directory below the root";
        return pb::Response::BAD_REQUEST;
    }
    for (const std::string& part : parts) {
        if (part == "." || part == "..") {
            detail = "the path has . or .. components";
            return pb::Response::BAD_REQUEST;
        }
    }
    std::string parent;
    for (size_t i = 0; i + 1 < parts.size(); ++i) parent += "/" + parts[i];
    FileDescriptor parentFd(::open(parent.empty() ? "/" : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    FileDescriptor entry(!parentFd.isOpen() ? -1 : ::openat(parentFd.get(), parts.back().c_str(), PATH_FLAGS));
    struct stat status;
    if (!entry.isOpen() || ::fstat(entry.get(), &status) != 0) {
        const int error = errno;
        detail = Poco::Error::getMessage(error);
        return error == EACCES ? pb::Response::FORBIDDEN : pb::Response::BAD_REQUEST;
    }
    if (S_ISLNK(status.st_mode)) {
        detail = "a symbolic link";
        return pb::Response::FORBIDDEN;
    }
    if (!S_ISDIR(status.st_mode)) {
        detail = "not a directory";
        return pb::Response::BAD_REQUEST;
    }
    if (status.st_uid != m_owner) {
        detail = "owned by uid " + std::to_string(status.st_uid);
        return pb::Response::FORBIDDEN;
    }
    pathFd = entry.release();
    return pb::Response::OK;
}

bool DirectoryPrivilegeFixer::fixEntry(int pathFd, int depth) {
    FileDescriptor entry(pathFd);
    struct stat status;
    if (::fstat(entry.get(), &status) != 0) {
        ++m_failed;
        return false;
    }
    // Links are never followed; others' entries, devices, pipes and sockets are not ours to change.
    const bool walkable = S_ISDIR(status.st_mode);
    if (status.st_uid != m_owner || !(walkable || S_ISREG(status.st_mode))) return true;
    if (!changeMode(entry.get(), status)) return false;
    if (!walkable) return true;
    if (depth >= MAX_DEPTH) {
        ++m_failed;
        return false;
    }
    // Opened through the path descriptor: the very directory just examined.
    const int directoryFd = ::openat(entry.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directoryFd < 0) {
        ++m_failed;
        return false;
    }
    return walk(directoryFd, depth + 1);
}

bool DirectoryPrivilegeFixer::changeMode(int pathFd, const struct stat& status) {
    const mode_t wanted = withOwnerRights(status);
    if (wanted == (status.st_mode & 07777)) return true;
    if (::fchmodat(AT_FDCWD, descriptorPath(pathFd).c_str(), wanted, 0) != 0) {
        ++m_failed;
        return false;
    }
    ++m_changed;
    return true;
}

bool DirectoryPrivilegeFixer::walk(int directoryFd, int depth) {
    DIR* directory = ::fdopendir(directoryFd);
    if (directory == nullptr) {
        ::close(directoryFd);
        ++m_failed;
        return false;
    }
    bool fixed = true;
    while (const dirent* child = ::readdir(directory)) {
        if (std::strcmp(child->d_name, ".") == 0 || std::strcmp(child->d_name, "..") == 0) continue;
        const int childFd = ::openat(::dirfd(directory), child->d_name, PATH_FLAGS);
        if (childFd < 0) {
            // Removed meanwhile: nothing left to fix.
            if (errno != ENOENT) ++m_failed;
            fixed = fixed && errno == ENOENT;
            continue;
        }
        // Every entry gets its turn, whatever happened to the one before.
        fixed = fixEntry(childFd, depth) && fixed;
    }
    ::closedir(directory);
    return fixed;
}

}  // namespace Service
}  // namespace VantisClient
