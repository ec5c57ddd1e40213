#include "model/InstallPathRules.h"

#include <vector>

namespace VantisClient {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

bool isAbsolute(const std::string& path) { return !path.empty() && isSeparator(path.front()); }

// The path's components without the empty and "." ones.
std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path + '/') {
        if (!isSeparator(c)) {
            current += c;
            continue;
        }
        if (!current.empty() && current != ".") parts.push_back(current);
        current.clear();
    }
    return parts;
}

}  // namespace

bool InstallPathRules::IsSafeRelativePath(const std::string& path) {
    if (isAbsolute(path)) return false;
    std::vector<std::string> parts = components(path);
    for (const std::string& part : parts) {
        if (part == "..") return false;
    }
    return !parts.empty();
}

bool InstallPathRules::IsSafeLinkTarget(const std::string& linkPath, const std::string& target) {
    if (target.empty() || isAbsolute(target)) return false;
    std::vector<std::string> resolved = components(linkPath);
    if (!resolved.empty()) resolved.pop_back();  // a target is read from the link's directory
    for (const std::string& part : components(target)) {
        if (part != "..") {
            resolved.push_back(part);
        } else if (resolved.empty()) {
            return false;
        } else {
            resolved.pop_back();
        }
    }
    return true;
}

}  // namespace VantisClient
