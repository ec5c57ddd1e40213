#include "common/Utilities.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/Path.h>

#include "common/Logger.h"
#include "platform/Platform.h"

namespace VantisClient {

std::string Utilities::AppendPath(const std::string& a, const std::string& b) {
    Poco::Path path(a);
    path.makeDirectory();
    path.append(Poco::Path(b));
    return path.toString();
}

std::string Utilities::AppendPath(const char* a, const char* b) { return AppendPath(std::string(a), std::string(b)); }

bool Utilities::CreateDirectoryForFile(const std::string& path) {
    try {
        Poco::File parent(Poco::Path(path).parent());
        if (parent.exists() && parent.isDirectory()) return true;
        if (parent.exists()) {
            try {
                parent.remove(true);
            } catch (const Poco::Exception&) {
                Logger::LogError("Could not create directory for file %s: Error removing file.", path.c_str());
                return false;
            }
        }
        parent.createDirectories();
        return true;
    } catch (const Poco::Exception&) {
        Logger::LogError("Could not create directory for file %s: Error creating directory.", path.c_str());
        return false;
    }
}

bool Utilities::CreateDirectory(const std::string& path) {
    try {
        Poco::File directory(path);
        if (directory.exists() && directory.isDirectory()) return true;
        if (directory.exists()) directory.remove(true);
        directory.createDirectories();
        return true;
    } catch (const Poco::Exception&) {
        Logger::LogError("Could not create directory '%s'.", path.c_str());
        return false;
    }
}

bool Utilities::GetFileExists(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) return !S_ISDIR(status.st_mode);
    return errno != ENOENT && errno != ENOTDIR;
}

bool Utilities::GetDirectoryExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool Utilities::DeleteFileOrDirectory(const std::string& path) {
    // Made absolute, an empty path would name the working directory and take
    // everything in it along.
    if (path.empty() || path[0] != '/') {
        Logger::LogError("Refusing to remove the empty or relative path '%s'.", path.c_str());
        return false;
    }
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return true;
        Logger::LogError("Could not remove file or directory: %s", path.c_str());
        return false;
    }
    bool removed = true;
    if (S_ISDIR(status.st_mode)) {
        try {
            Poco::File(path).remove(true);
        } catch (const Poco::Exception&) {
            removed = false;
        }
    } else if (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode)) {
        // A link is removed itself, dangling or not; what it points to is never touched.
        removed = ::unlink(path.c_str()) == 0;
    }
    if (!removed) Logger::LogError("Could not remove file or directory: %s", path.c_str());
    return removed;
}

std::string Utilities::MakeAbsolutePath(const std::string& path) {
    Poco::Path absolute(path);
    absolute.makeAbsolute();
    return absolute.toString();
}

std::string Utilities::NormalizePath(const std::string& path) {
    std::string normalized = path;
    for (char& c : normalized) {
        if (c == '\\') c = '/';
    }
    return normalized;
}

uint64_t Utilities::Hash64bit(const char* text) {
    uint64_t hash = 0x2AAAAAAAAAAAAB67ULL;
    for (const char* p = text; *p != '\0'; ++p) {
        // Bytes count as signed 8-bit values: stored keys depend on it.
        int64_t byte = static_cast<signed char>(*p);
        hash = (hash + static_cast<uint64_t>(byte)) * 0x2AAAAAAAAAAAAB6FULL;
    }
    return hash;
}

uint64_t Utilities::GetFreeSpaceForPath(const std::string& path) {
    std::string existing;
    try {
        Poco::Path current(Poco::Path::expand(path));
        current.makeAbsolute();
        if (!current.getFileName().empty()) current = current.parent();
        while (current.depth() > 0 && !Poco::File(current).exists()) current.popDirectory();
        existing = current.toString();
    } catch (const Poco::Exception& e) {
        Logger::LogError("GetFreeSpace failed. Exception: %s:", e.what());
        return 0;
    }
    uint64_t bytes = 0;
    std::string error;
    if (!Platform::FileSystemSpace()->freeBytes(existing, bytes, error)) {
        Logger::LogError("Could not check free space on path %s, last error = %s.", existing.c_str(), error.c_str());
        return 0;
    }
    return bytes;
}

bool Utilities::CheckInternetAccess() { return Platform::NetworkReachability()->isInternetReachable(); }

std::string Utilities::GetReturnCodeDescription(int32_t code) {
    static const std::map<int32_t, const char*> descriptions = {
        {0, "\"Returned successfully.\""},
        {-1, "\"Message passed in argument has been sent successfully to another client.\""},
        {-2, "\"Client asked another client to shutdown gracefully.\""},
        {-3, "\"Command passed in argument is not supported.\""},
        {-4, "\"Client could not start because previous instance has not been closed yet.\""},
        {-5, "\"Client could not start because VantisService disallowed to run.\""},
        {-6, "\"Could not send shutdown message to another client, because ClientUpdater is running.\""},
        {-7, "\"GameId passed in argument is not recognized.\""},
        {-8, "\"Client did not send message, because there is no client to receive message.\""},
        {-9, "\"Client could not start because another instance is running.\""},
        {-10, "\"Client could not start because updater is running.\""},
        {-11, "\"Crash Reporer has not been initialized properly.\""},
        {-12, "\"Service has been launched as application, not a service.\""},
        {-13, "\"Dispatch table is invalid.\""},
        {-14, "\"Another instance of Service is already running.\""},
        {-15, "\"Update is not needed. Everything is up-to-date.\""},
        {-16, "\"Not enought parameters has been passed to Updater.\""},
        {-17, "\"Another instance of Updater is already running.\""},
        {-18, "\"Updater could not download update metadata.\""},
        {-19, "\"Updater could not parse update metadata.\""},
        {-20, "\"Updater failed downloading files\""},
        {-21, "\"Updater failed moving files\""},
        {-22, "\"Updater has been launched by non-priviledged user.\""},
        {-23, "\"Service require priviledged account.\""},
        {-24, "\"Could not install service.\""},
        {-25, "\"Could not start service.\""},
        {-27, "\"Launching Updater; exiting.\""},
        {-30, "\"Vantis Client does not support this OS version\""},
        {-31, "\"Privilige deelevation is needed\""},
        {-32, "\"Updater will attempt fallback run\""},
        {-33, "\"GameId passed in argument is already installed\""},
    };
    auto found = descriptions.find(code);
    return found != descriptions.end() ? found->second : "Unknown return code.";
}

}  // namespace VantisClient
