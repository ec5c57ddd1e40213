#include "app/SingleInstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace VantisClient {

const char* const SingleInstanceLock::FILE_NAME = "VantisClient.lock";

SingleInstanceLock::~SingleInstanceLock() { release(); }

bool SingleInstanceLock::acquire(const std::string& directory, int waitMs, std::string& error) {
    release();
    const std::string path = directory + "/" + FILE_NAME;
    m_descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_descriptor < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (flock(m_descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = path + ": " + std::strerror(errno);
            release();
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error = "another client holds " + path;
            release();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(RETRY_INTERVAL_MS));
    }
    return true;
}

void SingleInstanceLock::release() {
    if (m_descriptor < 0) return;
    close(m_descriptor);
    m_descriptor = -1;
}

}  // namespace VantisClient
