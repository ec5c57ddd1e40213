// Where a play task may point: its path, made absolute against the game's
// installation directory, must stay below that directory once links are
// resolved, so a page or an info file cannot make the client start a program
// from anywhere else.
// Thread-safety: stateless.
#pragma once

#include <string>

namespace VantisClient {

class PlayTaskPath {
public:
    // The task's path as written: absolute when it begins with "/", else the
    // install path, "/" and the task's path.
    static std::string Compose(const std::string& installPath, const std::string& taskPath);
    // The real location of `path`; false when it does not exist or lies outside
    // the real location of `installPath`.
    static bool ResolveBelow(const std::string& installPath, const std::string& path, std::string& resolved);
};

}  // namespace VantisClient
