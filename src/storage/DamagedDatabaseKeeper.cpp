#include "storage/DamagedDatabaseKeeper.h"

#include <vector>

#include <Poco/DateTimeFormatter.h>
#include <Poco/DirectoryIterator.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/Path.h>
#include <Poco/Timestamp.h>

#include "common/Logger.h"
#include "common/Utilities.h"

namespace VantisClient {

const char* const DamagedDatabaseKeeper::ASIDE_MARK = ".damaged-";

bool DamagedDatabaseKeeper::SetAside(const std::string& directory, const std::string& reason) {
    const std::string aside =
        directory + ASIDE_MARK + Poco::DateTimeFormatter::format(Poco::Timestamp(), "%Y%m%dT%H%M%S");
    try {
        removeOlderCopies(directory);
        Poco::File(directory).renameTo(aside);
    } catch (const Poco::Exception& e) {
        Logger::LogError("The database %s is damaged (%s) and could not be moved to %s: %s", directory.c_str(),
                         reason.c_str(), aside.c_str(), e.displayText().c_str());
        return false;
    }
    Logger::LogWarning("The database %s is damaged (%s); it was moved to %s and is made anew", directory.c_str(),
                       reason.c_str(), aside.c_str());
    return true;
}

void DamagedDatabaseKeeper::removeOlderCopies(const std::string& directory) {
    const Poco::Path path(directory);
    const std::string prefix = path.getFileName() + ASIDE_MARK;
    std::vector<std::string> older;
    for (Poco::DirectoryIterator it(path.parent()), end; it != end; ++it) {
        if (it.name().rfind(prefix, 0) == 0) older.push_back(it.path().toString());
    }
    for (const std::string& copy : older) Utilities::DeleteFileOrDirectory(copy);
}

}  // namespace VantisClient
