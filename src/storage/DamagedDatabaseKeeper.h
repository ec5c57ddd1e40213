// Sets a damaged database directory aside, so that a new one can take its
// place while a person can still look at the old one: it is renamed to
// "<directory>.damaged-<UTC time>" beside the new one. Only the latest damaged
// copy is kept, so that a database damaged again and again cannot fill the disk.
// Thread-safety: stateless; callers keep two calls on one directory apart.
#pragma once

#include <string>

namespace VantisClient {

class DamagedDatabaseKeeper {
public:
    static const char* const ASIDE_MARK;

    // Logs one warning with `reason` and where the copy went; false, with an
    // error line, when the directory could not be moved.
    static bool SetAside(const std::string& directory, const std::string& reason);

private:
    static void removeOlderCopies(const std::string& directory);
};

}  // namespace VantisClient
