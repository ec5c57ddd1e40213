// Watches the trigger file through inotify on its directory and tells what
// happened to it since the last look: it appeared, it was touched (a new
// modification time), or it was removed. Anything at the path counts as the
// file; the service never opens it.
// Thread-safety: one thread (the service's control loop).
#pragma once

#include <sys/stat.h>

#include <string>

#include "common/FileDescriptor.h"

namespace VantisClient {
namespace Service {

class TriggerWatcher {
public:
    enum EChange { UNCHANGED, APPEARED, TOUCHED, REMOVED };

    explicit TriggerWatcher(std::string path);
    TriggerWatcher(const TriggerWatcher&) = delete;
    TriggerWatcher& operator=(const TriggerWatcher&) = delete;

    // Starts watching the file's directory; false with a reason in `error`.
    bool open(std::string& error);
    // Readable when something happened in the directory; for poll().
    int descriptor() const { return m_inotify.get(); }
    bool exists() const { return m_exists; }
    // Consumes the pending events and compares the file with the last look.
    EChange check();

private:
    void drainEvents();

    std::string m_path;
    FileDescriptor m_inotify;
    bool m_exists = false;
    struct timespec m_modified = {};
};

}  // namespace Service
}  // namespace VantisClient
