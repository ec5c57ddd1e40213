// One client per application-support root: an exclusive advisory lock on a
// file in the root, held for the life of the process (the kernel drops it when
// the process ends, also when it is killed). The descriptor is not inherited
// by the programs the client starts, so a running game never keeps it.
// Thread-safety: one owner.
#pragma once

#include <string>

namespace VantisClient {

class SingleInstanceLock {
public:
    static const char* const FILE_NAME;
    static constexpr int RETRY_INTERVAL_MS = 50;

    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Takes the lock on FILE_NAME in `directory`, waiting up to `waitMs` for a
    // previous instance to let it go. False, with `error` set, when another
    // process holds it or the file cannot be opened.
    bool acquire(const std::string& directory, int waitMs, std::string& error);
    void release();

private:
    int m_descriptor = -1;
};

}  // namespace VantisClient
