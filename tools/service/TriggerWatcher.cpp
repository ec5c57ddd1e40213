#include "service/TriggerWatcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

#include <Poco/Error.h>
#include <Poco/Path.h>

namespace VantisClient {
namespace Service {
namespace {

// Every way the file can come, change or go, and the directory itself going.
const uint32_t EVENTS =
    IN_CREATE | IN_DELETE | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

}  // namespace

TriggerWatcher::TriggerWatcher(std::string path) : m_path(std::move(path)) {}

bool TriggerWatcher::open(std::string& error) {
    m_inotify.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    const std::string directory = Poco::Path(m_path).parent().toString();
    if (!m_inotify.isOpen() || ::inotify_add_watch(m_inotify.get(), directory.c_str(), EVENTS) < 0) {
        error = "cannot watch " + directory + ": " + Poco::Error::getMessage(errno);
        return false;
    }
    check();
    return true;
}

TriggerWatcher::EChange TriggerWatcher::check() {
    drainEvents();
    struct stat status;
    const bool exists = ::lstat(m_path.c_str(), &status) == 0;
    const bool existed = m_exists;
    m_exists = exists;
    if (!exists) return existed ? REMOVED : UNCHANGED;
    const bool touched = status.st_mtim.tv_sec != m_modified.tv_sec || status.st_mtim.tv_nsec != m_modified.tv_nsec;
    m_modified = status.st_mtim;
    if (!existed) return APPEARED;
    return touched ? TOUCHED : UNCHANGED;
}

void TriggerWatcher::drainEvents() {
    // Only that something happened matters; the file itself is looked at afterwards.
    alignas(struct inotify_event) char events[4096];
    while (::read(m_inotify.get(), events, sizeof(events)) > 0) {
    }
}

}  // namespace Service
}  // namespace VantisClient
