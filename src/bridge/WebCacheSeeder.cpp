#include "bridge/WebCacheSeeder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <Poco/Exception.h>
#include <Poco/Zip/ZipArchive.h>
#include <Poco/Zip/ZipStream.h>
#include <Poco/Zip/ZipUtil.h>

#include "bridge/WebCacheLayout.h"
#include "bridge/WebCacheWriter.h"
#include "common/ApplicationEnvironment.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "model/InstallPathRules.h"

namespace VantisClient {

namespace {

const mode_t DIRECTORY_MODE = 0700;
// Where a central directory entry keeps its external attributes; a Unix
// archiver puts the file's mode in their upper half.
const Poco::UInt32 EXTERNAL_ATTRIBUTES_POSITION = 38;

std::string withoutTrailingSlash(const std::string& name) {
    return !name.empty() && name.back() == '/' ? name.substr(0, name.size() - 1) : name;
}

bool isPlainFileOrDirectory(const Poco::Zip::ZipFileInfo& entry) {
    const std::string header = entry.createHeader();
    if (header.size() < EXTERNAL_ATTRIBUTES_POSITION + 4) return false;
    const mode_t type = (Poco::Zip::ZipUtil::get32BitValue(header.data(), EXTERNAL_ATTRIBUTES_POSITION) >> 16) & S_IFMT;
    // No type at all is what archivers of other systems write.
    return type == 0 || type == S_IFREG || type == S_IFDIR;
}

}  // namespace

const char* const WebCacheSeeder::THREAD_NAME = "Web Cache Copy Thread";

bool WebCacheSeeder::seed(const std::string& gameId) {
    if (!WebCacheLayout::IsPlainGameId(gameId)) {
        Logger::LogWarning("Not seeding the web cache for '%s': it is not a game id.",
                           InstallPathRules::Printable(gameId).c_str());
        return false;
    }
    if (seedInto(ApplicationEnvironment::GetWebcachePath(), gameId)) return true;
    Logger::LogWarning("Unable to copy webcache resources to %s", WebCacheLayout::GameDirectory(gameId).c_str());
    return false;
}

bool WebCacheSeeder::seedInto(const std::string& webcacheDirectory, const std::string& gameId) {
    if (::mkdir(webcacheDirectory.c_str(), DIRECTORY_MODE) != 0 && errno != EEXIST) return false;
    removeLeftovers(webcacheDirectory, gameId);
    const std::string gameDirectory = Utilities::AppendPath(webcacheDirectory, gameId);
    struct stat status {};
    if (::lstat(gameDirectory.c_str(), &status) == 0) return true;
    std::string temporaryDirectory = Utilities::AppendPath(webcacheDirectory, leftoverPrefix(gameId) + "XXXXXX");
    if (::mkdtemp(&temporaryDirectory[0]) == nullptr) return false;
    if (extract(ApplicationEnvironment::GetWebcacheSeedPath(), temporaryDirectory) &&
        moveIntoPlace(temporaryDirectory, gameDirectory)) {
        return true;
    }
    Utilities::DeleteFileOrDirectory(temporaryDirectory);
    return false;
}

void WebCacheSeeder::removeLeftovers(const std::string& webcacheDirectory, const std::string& gameId) {
    DIR* directory = ::opendir(webcacheDirectory.c_str());
    if (directory == nullptr) return;
    const std::string prefix = leftoverPrefix(gameId);
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        Logger::LogInfo("Removing %s, left over from an interrupted seeding of the web cache.", name.c_str());
        Utilities::DeleteFileOrDirectory(Utilities::AppendPath(webcacheDirectory, name));
    }
    ::closedir(directory);
}

std::string WebCacheSeeder::leftoverPrefix(const std::string& gameId) { return ".seed-" + gameId + "-"; }

bool WebCacheSeeder::extract(const std::string& archivePath, const std::string& targetDirectory) {
    std::ifstream in(archivePath, std::ios::binary);
    if (!in) {
        Logger::LogWarning("Unable to open the web cache seed %s", archivePath.c_str());
        return false;
    }
    try {
        const Poco::Zip::ZipArchive archive(in);
        return acceptsEveryEntry(archive, archivePath) && extractEntries(in, archive, targetDirectory);
    } catch (const Poco::Exception& exception) {
        Logger::LogWarning("Unable to read the web cache seed %s: %s", archivePath.c_str(),
                           exception.displayText().c_str());
        return false;
    }
}

bool WebCacheSeeder::acceptsEveryEntry(const Poco::Zip::ZipArchive& archive, const std::string& archivePath) {
    // Extraction follows the local entries, the checks the central directory:
    // both must list the same names.
    if (std::distance(archive.headerBegin(), archive.headerEnd()) !=
        std::distance(archive.fileInfoBegin(), archive.fileInfoEnd())) {
        Logger::LogWarning("Refusing the web cache seed %s: its directory and its entries do not match.",
                           archivePath.c_str());
        return false;
    }
    for (auto entry = archive.fileInfoBegin(); entry != archive.fileInfoEnd(); ++entry) {
        if (const char* problem = entryProblem(archive, entry->second)) {
            Logger::LogWarning("Refusing the web cache seed %s: its entry '%s' %s.", archivePath.c_str(),
                               InstallPathRules::Printable(entry->first).c_str(), problem);
            return false;
        }
    }
    // A seed without the card's entry page would only keep a later seed out.
    if (archive.findHeader(WebCacheLayout::ENTRY_PAGE) == archive.headerEnd()) {
        Logger::LogWarning("Refusing the web cache seed %s: it holds no %s.", archivePath.c_str(),
                           WebCacheLayout::ENTRY_PAGE);
        return false;
    }
    return true;
}

const char* WebCacheSeeder::entryProblem(const Poco::Zip::ZipArchive& archive, const Poco::Zip::ZipFileInfo& entry) {
    if (archive.findHeader(entry.getFileName()) == archive.headerEnd()) return "has no contents of that name";
    if (!WebCacheLayout::IsSafeRelativePath(withoutTrailingSlash(entry.getFileName()))) {
        return "is no plain relative path";
    }
    if (!isPlainFileOrDirectory(entry)) return "is neither a plain file nor a directory";
    return nullptr;
}

bool WebCacheSeeder::extractEntries(std::istream& in, const Poco::Zip::ZipArchive& archive,
                                    const std::string& targetDirectory) {
    for (auto entry = archive.fileInfoBegin(); entry != archive.fileInfoEnd(); ++entry) {
        const std::string name = withoutTrailingSlash(entry->first);
        if (entry->second.isDirectory()) {
            if (!WebCacheWriter::CreateDirectories(targetDirectory, name)) return false;
            continue;
        }
        // Reading the directory left the stream failed; each entry seeks anew.
        in.clear();
        Poco::Zip::ZipInputStream contents(in, archive.findHeader(entry->first)->second);
        if (!WebCacheWriter::Write(targetDirectory, name, contents,
                                   static_cast<int64_t>(entry->second.getUncompressedSize()))) {
            return false;
        }
    }
    return true;
}

bool WebCacheSeeder::moveIntoPlace(const std::string& temporaryDirectory, const std::string& gameDirectory) {
    int moved = ::renameat2(AT_FDCWD, temporaryDirectory.c_str(), AT_FDCWD, gameDirectory.c_str(), RENAME_NOREPLACE);
    // A file system without the no-replace flag: a plain rename still refuses
    // to replace anything but an empty directory.
    if (moved != 0 && (errno == EINVAL || errno == ENOSYS)) {
        moved = ::rename(temporaryDirectory.c_str(), gameDirectory.c_str());
    }
    if (moved == 0) return true;
    if (errno != EEXIST && errno != ENOTEMPTY) return false;
    // Something was placed there meanwhile; it is kept as it is.
    Utilities::DeleteFileOrDirectory(temporaryDirectory);
    return true;
}

}  // namespace VantisClient
