// Gives the owner read, write and search rights (u+rwX) on a directory of the
// service's user and on everything below it. The directory itself and every
// entry below are reached without following symbolic links: each entry is
// opened as a path descriptor, examined and changed through that descriptor,
// and descended into through it, so nothing can be swapped in between. Links
// stay as they are, and so does anything another user owns (nor is it
// entered). The path leading to the directory is resolved as for any program
// of the user.
// Thread-safety: one fixer per request; fixers share nothing.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "service/zorv_pb.pb.h"

namespace VantisClient {
namespace Service {

class DirectoryPrivilegeFixer {
public:
    // Deeper trees are not walked to their end; the request fails.
    static constexpr int MAX_DEPTH = 256;

    explicit DirectoryPrivilegeFixer(uid_t owner);

    // OK when every entry of ours below `path` now has the rights; BAD_REQUEST
    // (not an absolute path of an existing directory) and FORBIDDEN (a link,
    // another user's directory) change nothing; INTERNAL_ERROR when some entry
    // could not be fixed. `detail` explains the answer.
    zorv::protocols::pb::Response::Code fix(const std::string& path, std::string& detail);

    size_t changedEntries() const { return m_changed; }

private:
    zorv::protocols::pb::Response::Code openRequested(const std::string& path, int& pathFd, std::string& detail);
    // Fixes the entry behind the path descriptor `pathFd` (closed here) and,
    // for a directory, everything below it.
    bool fixEntry(int pathFd, int depth);
    bool changeMode(int pathFd, const struct stat& status);
    bool walk(int directoryFd, int depth);

    uid_t m_owner;
    size_t m_changed = 0;
    size_t m_failed = 0;
};

}  // namespace Service
}  // namespace VantisClient
