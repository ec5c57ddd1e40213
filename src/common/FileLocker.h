// Makes sure that each path about to be replaced can be taken over before
// anything is moved. A lock on a file is its "read by others" bit (0004): taking
// it clears the bit, checks that the file opens and sets the bit; releasing it
// gives the file back the mode it had before the lock. A path where nothing
// exists gets an empty placeholder, removed again when its lock is released.
// A link at a path is held as it is: it is never followed, so what it points to
// is never touched. The bit keeps no other process out; the install pipeline
// looks for running users of the install directory separately.
// Thread-safety: none; one owner at a time.
#pragma once

#include <sys/types.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace VantisClient {

class FileLocker {
public:
    FileLocker() = default;
    explicit FileLocker(const std::string& path);
    explicit FileLocker(const std::vector<std::string>& paths);
    // Releases every lock still held.
    ~FileLocker();
    FileLocker(const FileLocker&) = delete;
    FileLocker& operator=(const FileLocker&) = delete;

    // A path already locked is locked.
    bool performLock(const std::string& path);
    // All or nothing: at the first path that cannot be locked, that path becomes
    // the failed one and every lock taken so far is released.
    bool performLock(const std::vector<std::string>& paths);
    // False for a path that is not locked.
    bool releaseLock(const std::string& path);
    // Tries every path, also after one failed; false when any failed.
    bool releaseLocks();
    bool isLocked() const { return !m_lockedPaths.empty(); }
    const std::string& getFailedFile() const { return m_failedPath; }

private:
    bool takeOverExisting(const std::string& path, mode_t mode);
    bool takeOverMissing(const std::string& path);
    // Restores the mode or removes the placeholder; false, with the path still
    // recorded, when that fails.
    bool giveBack(const std::string& path);

    static bool createFileInternal(const std::string& path);
    static bool deleteFileInternal(const std::string& path);
    static bool setReadOnlyFlag(const std::string& path);
    static bool resetReadOnlyFlag(const std::string& path);
    static bool changeReadBit(const std::string& path, bool set);
    static bool changeMode(const std::string& path, mode_t mode);
    static bool testForExclusiveAccess(const std::string& path);

    // In locking order.
    std::set<std::string> m_lockedPaths;
    // Placeholders this locker made where nothing existed.
    std::set<std::string> m_createdPaths;
    // The mode each existing file had before its lock; links have none.
    std::map<std::string, mode_t> m_originalModes;
    std::string m_failedPath;
};

}  // namespace VantisClient
