#include "model/InstallPathRules.h"

#include "model/SymLinkChainResolver.h"

namespace VantisClient {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

bool hasZeroByte(const std::string& path) { return path.find('\0') != std::string::npos; }

}  // namespace

bool InstallPathRules::IsSafeRelativePath(const std::string& path) {
    if (IsAbsolute(path) || hasZeroByte(path)) return false;
    std::vector<std::string> parts = Components(path);
    for (const std::string& part : parts) {
        if (part == "..") return false;
    }
    return !parts.empty();
}

bool InstallPathRules::IsPlainName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || hasZeroByte(name)) return false;
    for (char c : name) {
        if (isSeparator(c)) return false;
    }
    return true;
}

bool InstallPathRules::IsSafeLinkTarget(const std::string& linkPath, const std::string& target) {
    if (target.empty() || IsAbsolute(target) || hasZeroByte(target)) return false;
    return SymLinkChainResolver().resolve(linkPath, target) == SymLinkChainResolver::Outcome::Inside;
}

bool InstallPathRules::IsAbsolute(const std::string& path) { return !path.empty() && isSeparator(path.front()); }

std::string InstallPathRules::RelativeToRoot(const std::string& path) {
    size_t start = 0;
    while (start < path.size() && isSeparator(path[start])) ++start;
    return path.substr(start);
}

std::vector<std::string> InstallPathRules::Components(const std::string& path) {
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

std::string InstallPathRules::Printable(const std::string& path) {
    std::string printable;
    for (char c : path) {
        if (c == '\0') {
            printable += "\\0";
        } else {
            printable += c;
        }
    }
    return printable;
}

}  // namespace VantisClient
