#include "bridge/WebCacheWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include <Poco/NumberFormatter.h>

#include "bridge/WebCacheLayout.h"
#include "common/FileDescriptor.h"
#include "common/Logger.h"
#include "model/InstallPathRules.h"

namespace VantisClient {

namespace {

const int DIRECTORY_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
const mode_t DIRECTORY_MODE = 0700;
const mode_t FILE_MODE = 0600;
const int TEMPORARY_NAME_ATTEMPTS = 8;
const size_t COPY_BUFFER_SIZE = 64 * 1024;

std::vector<std::string> namesOf(const std::string& relativePath) {
    std::vector<std::string> names;
    size_t start = 0;
    for (size_t end = relativePath.find('/'); end != std::string::npos; end = relativePath.find('/', start)) {
        names.push_back(relativePath.substr(start, end - start));
        start = end + 1;
    }
    names.push_back(relativePath.substr(start));
    return names;
}

// `name` below `parent` as a directory, created when missing; a link there is
// never followed, so entering it fails.
int enterDirectory(int parent, const std::string& name) {
    if (::mkdirat(parent, name.c_str(), DIRECTORY_MODE) != 0 && errno != EEXIST) return -1;
    return ::openat(parent, name.c_str(), DIRECTORY_FLAGS | O_NOFOLLOW);
}

// Entering a link or a file as a directory fails with one of these.
const char* reasonOf(int error) {
    return error == ENOTDIR || error == ELOOP ? "a link or a file stands in the way" : std::strerror(error);
}

bool writeAll(int file, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(file, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

bool WebCacheWriter::Write(const std::string& baseDirectory, const std::string& relativePath, std::istream& content,
                           int64_t expectedLength, int64_t maxLength) {
    if (!WebCacheLayout::IsSafeRelativePath(relativePath)) return fail(baseDirectory, relativePath, "unsafe path");
    std::vector<std::string> names = namesOf(relativePath);
    const std::string fileName = names.back();
    names.pop_back();
    FileDescriptor directory(openDirectoryBelow(baseDirectory, names));
    if (!directory.isOpen()) return fail(baseDirectory, relativePath, reasonOf(errno));
    std::string temporaryName;
    FileDescriptor file(createTemporaryFile(directory.get(), temporaryName));
    if (!file.isOpen()) return fail(baseDirectory, relativePath, std::strerror(errno));
    const char* copyFault = copyAll(content, file.get(), expectedLength, maxLength);
    bool complete = copyFault == nullptr && ::fsync(file.get()) == 0;
    complete = ::close(file.release()) == 0 && complete;
    // renameat replaces a link at the destination itself, never what it points to.
    if (complete && ::renameat(directory.get(), temporaryName.c_str(), directory.get(), fileName.c_str()) == 0) {
        return true;
    }
    const int error = errno;
    ::unlinkat(directory.get(), temporaryName.c_str(), 0);
    if (copyFault != nullptr) return fail(baseDirectory, relativePath, copyFault);
    return fail(baseDirectory, relativePath, complete ? std::strerror(error) : "the content could not be copied whole");
}

bool WebCacheWriter::CreateDirectories(const std::string& baseDirectory, const std::string& relativePath) {
    if (!WebCacheLayout::IsSafeRelativePath(relativePath)) return fail(baseDirectory, relativePath, "unsafe path");
    FileDescriptor directory(openDirectoryBelow(baseDirectory, namesOf(relativePath)));
    return directory.isOpen() || fail(baseDirectory, relativePath, reasonOf(errno));
}

int WebCacheWriter::openDirectoryBelow(const std::string& baseDirectory, const std::vector<std::string>& names) {
    // The base's parent is the caller's to provide.
    if (::mkdir(baseDirectory.c_str(), DIRECTORY_MODE) != 0 && errno != EEXIST) return -1;
    FileDescriptor directory(::open(baseDirectory.c_str(), DIRECTORY_FLAGS));
    for (const std::string& name : names) {
        if (!directory.isOpen()) break;
        directory.reset(enterDirectory(directory.get(), name));
    }
    return directory.release();
}

int WebCacheWriter::createTemporaryFile(int directory, std::string& name) {
    std::random_device random;
    for (int attempt = 0; attempt < TEMPORARY_NAME_ATTEMPTS; ++attempt) {
        name = ".part-" + Poco::NumberFormatter::formatHex(random(), 8);
        const int file =
            ::openat(directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, FILE_MODE);
        if (file >= 0 || errno != EEXIST) return file;
    }
    return -1;
}

const char* WebCacheWriter::copyAll(std::istream& content, int file, int64_t expectedLength, int64_t maxLength) {
    const char* const incomplete = "the content could not be copied whole";
    std::vector<char> buffer(COPY_BUFFER_SIZE);
    int64_t copied = 0;
    try {
        while (content.good()) {
            content.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            const size_t count = static_cast<size_t>(content.gcount());
            copied += static_cast<int64_t>(count);
            // Checked before writing, so that an endless answer never fills the disk.
            if (copied > maxLength) return "the content is longer than the bound";
            if (!writeAll(file, buffer.data(), count)) return incomplete;
        }
    } catch (const std::exception&) {
        // A stream that reports its failure by throwing: the copy is incomplete.
        return incomplete;
    }
    const bool whole =
        !content.bad() && content.eof() && (expectedLength == UNKNOWN_LENGTH || copied == expectedLength);
    return whole ? nullptr : incomplete;
}

bool WebCacheWriter::fail(const std::string& baseDirectory, const std::string& relativePath, const char* reason) {
    Logger::LogWarning("Unable to write '%s' below %s: %s", InstallPathRules::Printable(relativePath).c_str(),
                       baseDirectory.c_str(), reason);
    return false;
}

}  // namespace VantisClient
