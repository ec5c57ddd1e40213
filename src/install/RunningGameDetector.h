// Tells whether the game is in session: whether a running process other than
// this one runs a program from below the product's directories, or holds one
// of their files open or mapped. On this platform nothing stops a running game
// from having its files replaced under it, so the update asks first. Each
// question is one pass over /proc/<pid>/{exe,maps,fd}; entries that cannot be
// read (other users' processes, processes that just ended) are skipped.
// Thread-safety: const after construction; safe from any thread.
#pragma once

#include <string>
#include <vector>

namespace VantisClient {

class RunningGameDetector {
public:
    struct Use {
        std::string processId;
        std::string file;
    };

    // Directories that do not exist are left out: nothing can use them.
    explicit RunningGameDetector(const std::vector<std::string>& directories);

    // The first use found; false when there is none.
    bool findUse(Use& use) const;

private:
    bool processUses(const std::string& processDirectory, std::string& file) const;
    bool runsFromDirectories(const std::string& processDirectory, std::string& file) const;
    bool mapsFromDirectories(const std::string& processDirectory, std::string& file) const;
    bool holdsOpenInDirectories(const std::string& processDirectory, std::string& file) const;
    bool isBelowDirectories(const std::string& path) const;

    // Resolved, in the form /proc names files.
    std::vector<std::string> m_directories;
};

}  // namespace VantisClient
