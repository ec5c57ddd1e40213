#include "common/json/JsonFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include <Poco/Error.h>
#include <Poco/Exception.h>
#include <Poco/JSON/Parser.h>
#include <Poco/Path.h>

#include "common/Logger.h"
#include "common/ScopedLock.h"
#include "common/VantisMutex.h"

namespace VantisClient {
namespace {

const char* const TEMPORARY_SUFFIX = ".tmp-XXXXXX";

// One lock per file, named by its absolute path. Never freed: a report thread
// may still write while the process exits.
VantisMutex& lockFor(const std::string& path) {
    static VantisMutex* registryMutex = new VantisMutex;
    static std::map<std::string, VantisMutex>* locks = new std::map<std::string, VantisMutex>;
    std::string key = path;
    try {
        key = Poco::Path(path).makeAbsolute().toString();
    } catch (const Poco::Exception&) {
        // An unusual path still gets a lock of its own, under its own spelling.
    }
    ScopedLock lock(*registryMutex);
    return (*locks)[key];
}

bool readText(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::stringstream contents;
    contents << file.rdbuf();
    text = contents.str();
    return !file.bad();
}

bool parseObject(const std::string& text, Poco::JSON::Object::Ptr& object) {
    try {
        Poco::JSON::Parser parser;
        Poco::Dynamic::Var document = parser.parse(text);
        if (document.type() != typeid(Poco::JSON::Object::Ptr)) return false;
        object = document.extract<Poco::JSON::Object::Ptr>();
        return !object.isNull();
    } catch (const Poco::Exception&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

bool writeAll(int descriptor, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        ssize_t result = ::write(descriptor, text.data() + written, text.size() - written);
        if (result < 0 && errno == EINTR) continue;
        if (result <= 0) return false;
        written += static_cast<size_t>(result);
    }
    return true;
}

void warnUnwritable(const std::string& path, const std::string& reason) {
    Logger::LogWarning("Unable to write json contents to %s: %s", path.c_str(), reason.c_str());
}

// Makes the rename itself survive a power cut; a failure here loses nothing.
void syncDirectoryOf(const std::string& path) {
    std::string directory = Poco::Path(path).parent().toString();
    if (directory.empty()) directory = ".";
    int descriptor = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    ::fsync(descriptor);
    ::close(descriptor);
}

}  // namespace

bool JsonFile::Read(const std::string& path, Poco::JSON::Object::Ptr& object) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 && errno == ENOENT) {
        object = new Poco::JSON::Object;
        return true;
    }
    std::string text;
    if (!readText(path, text) || !parseObject(text, object)) {
        Logger::LogWarning("Unable to read json contents from %s", path.c_str());
        return false;
    }
    return true;
}

bool JsonFile::Update(const std::string& path, const std::function<void(Poco::JSON::Object&)>& change) {
    ScopedLock lock(lockFor(path));
    Poco::JSON::Object::Ptr object;
    if (!Read(path, object)) return false;
    change(*object);
    std::ostringstream text;
    try {
        object->stringify(text);
    } catch (const Poco::Exception& exception) {
        warnUnwritable(path, exception.displayText());
        return false;
    }
    return writeAtomically(path, text.str());
}

bool JsonFile::writeAtomically(const std::string& path, const std::string& text) {
    std::vector<char> temporary(path.begin(), path.end());
    temporary.insert(temporary.end(), TEMPORARY_SUFFIX, TEMPORARY_SUFFIX + std::strlen(TEMPORARY_SUFFIX) + 1);
    // A fresh name each time: a file left by a crash is never reopened or trusted.
    int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0) {
        warnUnwritable(path, Poco::Error::getMessage(errno));
        return false;
    }
    bool written = ::fchmod(descriptor, 0600) == 0 && writeAll(descriptor, text) && ::fsync(descriptor) == 0;
    int error = written ? 0 : errno;
    if (::close(descriptor) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && ::rename(temporary.data(), path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (written) {
        syncDirectoryOf(path);
        return true;
    }
    ::unlink(temporary.data());
    warnUnwritable(path, Poco::Error::getMessage(error));
    return false;
}

}  // namespace VantisClient
