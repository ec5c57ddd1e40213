// Seeds a game's web cache from the archive shipped with the application, so
// that its card can be shown offline before any online visit has filled the
// cache. A game is seeded once: anything already at its cache directory is
// kept as it is. The archive is unpacked in-process into a private temporary
// directory inside the web-cache directory and renamed into place whole, so an
// interrupted seeding never leaves a half-seeded game behind (its temporary
// directory is removed by the next seeding of that game). Every entry must be
// a plain file or directory whose name stays below the game's directory, or
// nothing of the archive is used.
// Thread-safety: stateless. The shell calls seed() on its own background
// thread, named THREAD_NAME, once at start; seeding one game from two threads
// at once leaves one of the two copies.
#pragma once

#include <istream>
#include <string>

namespace Poco {
namespace Zip {
class ZipArchive;
class ZipFileInfo;
}  // namespace Zip
}  // namespace Poco

namespace VantisClient {

class WebCacheSeeder {
public:
    static const char* const THREAD_NAME;

    // Seeds the cache directory of `gameId` (a plain decimal id) from the
    // application's seed archive. True when the directory is in place
    // afterwards, seeded now or before; false, with a warning, when nothing
    // could be placed.
    static bool seed(const std::string& gameId);

private:
    static bool seedInto(const std::string& webcacheDirectory, const std::string& gameId);
    static void removeLeftovers(const std::string& webcacheDirectory, const std::string& gameId);
    static std::string leftoverPrefix(const std::string& gameId);
    static bool extract(const std::string& archivePath, const std::string& targetDirectory);
    static bool acceptsEveryEntry(const Poco::Zip::ZipArchive& archive, const std::string& archivePath);
    static const char* entryProblem(const Poco::Zip::ZipArchive& archive, const Poco::Zip::ZipFileInfo& entry);
    static bool extractEntries(std::istream& in, const Poco::Zip::ZipArchive& archive,
                               const std::string& targetDirectory);
    static bool moveIntoPlace(const std::string& temporaryDirectory, const std::string& gameDirectory);
};

}  // namespace VantisClient
