#include "service/ServiceTriggerFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <Poco/Error.h>

#include "common/FileDescriptor.h"

namespace VantisClient {
namespace {

const mode_t TRIGGER_MODE = 0644;

}  // namespace

ServiceTriggerFile::ServiceTriggerFile(std::string path) : m_path(std::move(path)) {}

ServiceTriggerFile::EResult ServiceTriggerFile::createOrTouch() const {
    // O_EXCL tells a new file from an existing one; O_NOFOLLOW keeps a link
    // planted at the path from redirecting the creation.
    FileDescriptor created(::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, TRIGGER_MODE));
    if (created.isOpen()) {
        // The umask may have narrowed it; the descriptor is ours, the path might not be.
        ::fchmod(created.get(), TRIGGER_MODE);
        return CREATED;
    }
    if (errno != EEXIST) return CREATE_FAILED;
    return touchExisting();
}

ServiceTriggerFile::EResult ServiceTriggerFile::touchExisting() const {
    // O_NONBLOCK: a FIFO planted at the path must not hang the open.
    FileDescriptor existing(::open(m_path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!existing.isOpen()) return REFUSED;
    struct stat status;
    if (::fstat(existing.get(), &status) != 0) return TOUCH_FAILED;
    if (!S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) return REFUSED;
    return ::futimens(existing.get(), nullptr) == 0 ? TOUCHED : TOUCH_FAILED;
}

bool ServiceTriggerFile::remove(std::string& error) const {
    if (::unlink(m_path.c_str()) == 0 || errno == ENOENT) return true;
    error = Poco::Error::getMessage(errno);
    return false;
}

}  // namespace VantisClient
