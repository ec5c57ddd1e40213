#include "common/FileLocker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <Poco/Exception.h>
#include <Poco/File.h>

#include "common/Logger.h"
#include "common/Utilities.h"

namespace VantisClient {

namespace {

const mode_t READ_BY_OTHERS = S_IROTH;

}  // namespace

FileLocker::FileLocker(const std::string& path) { performLock(path); }

FileLocker::FileLocker(const std::vector<std::string>& paths) { performLock(paths); }

FileLocker::~FileLocker() { releaseLocks(); }

bool FileLocker::performLock(const std::vector<std::string>& paths) {
    Logger::LogInfo("Locking files, before move...");
    for (const std::string& path : paths) {
        if (performLock(path)) continue;
        m_failedPath = path;
        releaseLocks();
        return false;
    }
    return true;
}

bool FileLocker::performLock(const std::string& path) {
    if (m_lockedPaths.count(path) != 0) return true;
    struct stat status {};
    const bool exists = ::lstat(path.c_str(), &status) == 0;
    if (exists && S_ISLNK(status.st_mode)) {
        // What replaces the path replaces the link itself; what it points to is
        // not ours to change.
        m_lockedPaths.insert(path);
        return true;
    }
    if (!(exists ? takeOverExisting(path, status.st_mode & 07777) : takeOverMissing(path))) return false;
    m_lockedPaths.insert(path);
    if (!testForExclusiveAccess(path)) {
        Logger::LogError(
            "FileLocker: File '%s' could not be open with exclusive access rights. Cannot perform lock on this file.",
            path.c_str());
    } else if (!setReadOnlyFlag(path)) {
        Logger::LogError("FileLocker: Could not set readonly flag on file '%s'. Cannot perform lock on this file.",
                         path.c_str());
    } else {
        return true;
    }
    releaseLock(path);
    return false;
}

bool FileLocker::takeOverExisting(const std::string& path, mode_t mode) {
    if (!resetReadOnlyFlag(path)) {
        Logger::LogError(
            "FileLocker: Could not remove readonly attribute from file '%s'. Cannot perform lock on this file.",
            path.c_str());
        return false;
    }
    m_originalModes[path] = mode;
    return true;
}

bool FileLocker::takeOverMissing(const std::string& path) {
    if (!createFileInternal(path)) {
        Logger::LogError("FileLocker: File '%s' does not exist, and could not be created.", path.c_str());
        return false;
    }
    m_createdPaths.insert(path);
    return true;
}

bool FileLocker::releaseLock(const std::string& path) {
    if (m_lockedPaths.count(path) == 0 || !giveBack(path)) return false;
    m_lockedPaths.erase(path);
    return true;
}

bool FileLocker::releaseLocks() {
    // Every file gets its chance, also after one failed; a failed one stays
    // locked so that a later call can try it again.
    const std::set<std::string> locked = m_lockedPaths;
    bool allReleased = true;
    for (const std::string& path : locked) allReleased = releaseLock(path) && allReleased;
    return allReleased;
}

bool FileLocker::giveBack(const std::string& path) {
    auto original = m_originalModes.find(path);
    if (original != m_originalModes.end()) {
        if (!changeMode(path, original->second)) {
            Logger::LogError("FileLocker: Could not give file '%s' back its mode %04o: %s", path.c_str(),
                             static_cast<unsigned>(original->second), std::strerror(errno));
            return false;
        }
        m_originalModes.erase(original);
    }
    if (m_createdPaths.count(path) != 0) {
        if (!deleteFileInternal(path)) {
            Logger::LogError("FileLocker: Could not remove the placeholder '%s': %s", path.c_str(),
                             std::strerror(errno));
            return false;
        }
        m_createdPaths.erase(path);
    }
    return true;
}

bool FileLocker::createFileInternal(const std::string& path) {
    if (!Utilities::CreateDirectoryForFile(path)) return false;
    try {
        return Poco::File(path).createFile();
    } catch (const Poco::FileException& e) {
        Logger::LogError("Could not create file '%s'. FileException: %s (%s)", path.c_str(), e.name(),
                         e.message().c_str());
    } catch (const Poco::Exception& e) {
        Logger::LogError("Could not create file '%s'. Exception: %s (%s)", path.c_str(), e.name(), e.message().c_str());
    }
    return false;
}

bool FileLocker::deleteFileInternal(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool FileLocker::setReadOnlyFlag(const std::string& path) { return changeReadBit(path, true); }

bool FileLocker::resetReadOnlyFlag(const std::string& path) { return changeReadBit(path, false); }

bool FileLocker::changeReadBit(const std::string& path, bool set) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return false;
    const mode_t mode = status.st_mode & 07777;
    return changeMode(path, set ? (mode | READ_BY_OTHERS) : (mode & ~READ_BY_OTHERS));
}

bool FileLocker::changeMode(const std::string& path, mode_t mode) {
    // Never through a link: a link planted in the file's place fails the open
    // instead of handing the change to whatever the link points to. The
    // descriptor does the change, which needs neither /proc nor a recent C
    // library, as fchmodat(AT_SYMLINK_NOFOLLOW) would.
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), O_RDONLY | flags);
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_WRONLY | flags);
    if (fd < 0) return false;
    struct stat status {};
    const bool changed = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::fchmod(fd, mode) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return changed;
}

bool FileLocker::testForExclusiveAccess(const std::string& path) {
    // Non-blocking: a pipe under the file's name would otherwise hold the
    // install thread until someone writes to it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace VantisClient
