#include "install/PosixFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <vector>

#include <Poco/DirectoryIterator.h>
#include <Poco/Exception.h>
#include <Poco/File.h>

#include "common/Logger.h"
#include "common/Utilities.h"

namespace VantisClient {

namespace {

const size_t COPY_BUFFER_SIZE = 256 * 1024;
const char* const NOT_WRITTEN = "The data did not reach the file.";

bool writeAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

bool pwriteAll(int fd, const char* data, size_t length, uint64_t offset) {
    while (length > 0) {
        const ssize_t written = ::pwrite(fd, data, length, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        length -= static_cast<size_t>(written);
        offset += static_cast<uint64_t>(written);
    }
    return true;
}

bool isRealDirectory(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

FileSystem& FileSystem::Default() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

bool PosixFileSystem::isUsablePath(const std::string& path, const char* operation) {
    if (!path.empty() && path[0] == '/') return true;
    Logger::LogError("%s refused the empty or relative path '%s'.", operation, path.c_str());
    return false;
}

bool PosixFileSystem::createNewFile(const std::string& path, uint64_t size) {
    if (!isUsablePath(path, "createNewFile")) return false;
    if (!Utilities::CreateDirectoryForFile(path)) {
        Logger::LogError("Cannot create file '%s' of size %llu.", path.c_str(), static_cast<unsigned long long>(size));
        return false;
    }
    bool reusable = false;
    if (!removeUnlessReusable(path, size, reusable)) return false;
    return reusable || createReservedFile(path, size);
}

bool PosixFileSystem::removeUnlessReusable(const std::string& path, uint64_t size, bool& reusable) {
    // lstat: a link, dangling or not, is replaced by a file of our own.
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return true;
    reusable = S_ISREG(status.st_mode) && static_cast<uint64_t>(status.st_size) == size;
    if (reusable || Utilities::DeleteFileOrDirectory(path)) return true;
    Logger::LogError("Cannot remove file %s.", path.c_str());
    return false;
}

bool PosixFileSystem::createReservedFile(const std::string& path, uint64_t size) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        Logger::LogError("Cannot create file '%s' of size %llu.", path.c_str(), static_cast<unsigned long long>(size));
        return false;
    }
    bool reserved = reserveSpace(fd, size);
    reserved = ::close(fd) == 0 && reserved;
    if (reserved) return true;
    Logger::LogError("Cannot resize file %s.", path.c_str());
    // A half-reserved file would only hold on to the space that is missing.
    ::unlink(path.c_str());
    return false;
}

bool PosixFileSystem::reserveSpace(int fd, uint64_t size) {
    if (size == 0) return true;
    if (size > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
    int result = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    if (result == 0) return true;
    if (result != EOPNOTSUPP) return false;
    // A file system that cannot reserve still gets a file of the final size.
    const char zero = 0;
    return ::pwrite(fd, &zero, 1, static_cast<off_t>(size - 1)) == 1;
}

bool PosixFileSystem::writeToFile(const std::string& path, uint64_t offset, const char* data, uint32_t length) {
    if (!isUsablePath(path, "writeToFile")) return false;
    std::string failure = NOT_WRITTEN;
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max() - length)) {
        failure = "Offset out of range: " + std::to_string(offset);
    } else {
        // One call for the whole piece, never truncating: the other parts of the file stay as they are.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd >= 0) {
            const bool written = pwriteAll(fd, data, length, offset);
            if (::close(fd) == 0 && written) return true;
        }
    }
    Logger::LogError("Could not write to file '%s'. %s", path.c_str(), failure.c_str());
    return false;
}

bool PosixFileSystem::moveFile(const std::string& from, const std::string& to) {
    if (!isUsablePath(from, "moveFile") || !isUsablePath(to, "moveFile")) return false;
    if (!Utilities::CreateDirectoryForFile(to)) return false;
    if (replaceByRename(from, to)) return true;
    Logger::LogError("Could not move file '%s' to '%s'", from.c_str(), to.c_str());
    return false;
}

bool PosixFileSystem::replaceByRename(const std::string& from, const std::string& to) {
    // rename(2) replaces a file or a link in one step, but not a directory: that
    // one steps aside and comes back when the move fails.
    const std::string aside = to + ".vantis-replaced";
    bool stepAside = isRealDirectory(to);
    if (stepAside && (!Utilities::DeleteFileOrDirectory(aside) || ::rename(to.c_str(), aside.c_str()) != 0)) {
        return false;
    }
    bool moved = ::rename(from.c_str(), to.c_str()) == 0;
    if (!moved && errno == EXDEV && copyAcrossFileSystems(from, to)) {
        moved = true;
        ::unlink(from.c_str());
    }
    if (stepAside) {
        if (moved) {
            Utilities::DeleteFileOrDirectory(aside);
        } else {
            ::rename(aside.c_str(), to.c_str());
        }
    }
    return moved;
}

bool PosixFileSystem::copyAcrossFileSystems(const std::string& from, const std::string& to) {
    int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) return false;
    struct stat status {};
    const std::string temporary = to + ".vantis-moving";
    int target = -1;
    if (::fstat(source, &status) == 0 && S_ISREG(status.st_mode)) {
        ::unlink(temporary.c_str());
        target = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 07777);
    }
    bool copied = target >= 0 && copyContents(source, target) && ::fsync(target) == 0;
    if (target >= 0) copied = ::close(target) == 0 && copied;
    ::close(source);
    // Only a complete, synced copy takes the target's place.
    copied = copied && ::rename(temporary.c_str(), to.c_str()) == 0;
    if (!copied && target >= 0) ::unlink(temporary.c_str());
    return copied;
}

bool PosixFileSystem::copyContents(int source, int target) {
    std::vector<char> buffer(COPY_BUFFER_SIZE);
    for (;;) {
        ssize_t got = ::read(source, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        if (!writeAll(target, buffer.data(), static_cast<size_t>(got))) return false;
    }
}

bool PosixFileSystem::deleteFile(const std::string& path) {
    if (!isUsablePath(path, "deleteFile")) return false;
    try {
        Poco::File(path).remove(false);
        return true;
    } catch (const Poco::FileException& e) {
        Logger::LogError("Could not delete file '%s'. %s", path.c_str(), e.displayText().c_str());
        return false;
    }
}

bool PosixFileSystem::deleteDir(const std::string& path, bool onlyIfEmpty) {
    if (!isUsablePath(path, "deleteDir")) return false;
    try {
        Poco::File directory(path);
        if (!directory.isDirectory()) return true;
        if (!onlyIfEmpty) {
            directory.remove(true);
        } else if (Poco::DirectoryIterator(directory) == Poco::DirectoryIterator()) {
            directory.remove(false);
        }
        return true;
    } catch (const Poco::FileException& e) {
        Logger::LogError("Could not delete directory'%s'. %s", path.c_str(), e.displayText().c_str());
        return false;
    }
}

bool PosixFileSystem::createDir(const std::string& path) {
    if (!isUsablePath(path, "createDir")) return false;
    try {
        if (Utilities::GetDirectoryExists(path)) return true;
        struct stat status {};
        // A file or a dangling link in the way is no directory, whatever mkdir says.
        if (::lstat(path.c_str(), &status) == 0) throw Poco::FileExistsException("Not a directory", path);
        Poco::File(path).createDirectories();
        return true;
    } catch (const Poco::FileException& e) {
        Logger::LogError("Could not create directory'%s'. %s", path.c_str(), e.displayText().c_str());
        return false;
    }
}

bool PosixFileSystem::setHidden(const std::string&) { return true; }

bool PosixFileSystem::getAllocatedSize(const std::string& path, uint64_t& size) {
    if (!isUsablePath(path, "getAllocatedSize")) return false;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    size = static_cast<uint64_t>(status.st_blocks) * 512;
    return true;
}

bool PosixFileSystem::getFileSize(const std::string& path, uint64_t& size) {
    if (!isUsablePath(path, "getFileSize")) return false;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) return false;
    size = static_cast<uint64_t>(status.st_size);
    return true;
}

}  // namespace VantisClient
