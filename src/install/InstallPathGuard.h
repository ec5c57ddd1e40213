// Checks, on the real file system, that a path the pipeline is about to create,
// move, delete or link lies below its root (the product's install directory,
// its support directory, or the downloads directory for the source of a move)
// and is reached from there without passing through a symbolic link. The
// manifest readers refuse paths that climb out as text; this catches a
// directory that was replaced by a link afterwards (by a game, a user or a
// stale install), which would send a write wherever the link points. The root
// itself may be reached through links: where it lives is the user's choice.
// The check and the operation after it are separate system calls; the pipeline
// makes both on the install thread, one right after the other.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>
#include <vector>

namespace VantisClient {

class InstallPathGuard {
public:
    enum class LastComponent {
        // The path's own entry is replaced or removed, never followed.
        MayBeLink,
        // The path's own entry is entered or taken as it is: a directory, or a
        // download about to be moved.
        MustNotBeLink,
    };

    // True when `path` names an entry strictly below `root`, without "." or ".."
    // components, and no existing directory between them is a link. Logs an
    // error naming the path and the reason when it refuses.
    static bool isInside(const std::string& root, const std::string& path, LastComponent last);

private:
    static std::vector<std::string> components(const std::string& path);
    static bool relativeComponents(const std::string& root, const std::string& path,
                                   std::vector<std::string>& relative);
    static bool walk(const std::string& root, const std::string& path, const std::vector<std::string>& relative,
                     LastComponent last);
};

}  // namespace VantisClient
