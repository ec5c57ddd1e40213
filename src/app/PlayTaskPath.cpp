#include "app/PlayTaskPath.h"

#include <climits>
#include <cstdlib>

namespace VantisClient {
namespace {

bool realPath(const std::string& path, std::string& resolved) {
    char buffer[PATH_MAX];
    if (path.empty() || realpath(path.c_str(), buffer) == nullptr) return false;
    resolved = buffer;
    return true;
}

}  // namespace

std::string PlayTaskPath::Compose(const std::string& installPath, const std::string& taskPath) {
    if (!taskPath.empty() && taskPath[0] == '/') return taskPath;
    return installPath + "/" + taskPath;
}

bool PlayTaskPath::ResolveBelow(const std::string& installPath, const std::string& path, std::string& resolved) {
    std::string root;
    std::string target;
    if (!realPath(installPath, root) || !realPath(path, target)) return false;
    if (target != root && target.compare(0, root.size() + 1, root + "/") != 0) return false;
    resolved = target;
    return true;
}

}  // namespace VantisClient
