#include "platform/LinuxApplicationPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/Path.h>

namespace VantisClient {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string dataHome() {
    std::string xdg = environment("XDG_DATA_HOME");
    if (!xdg.empty()) return xdg;
    return environment("HOME") + "/.local/share";
}

}  // namespace

std::string LinuxApplicationPaths::applicationSupportRoot() {
    std::string root = environment("VANTIS_HOME");
    if (root.empty()) root = dataHome() + "/Vantis";
    try {
        Poco::File directory(root);
        if (!directory.exists()) {
            directory.createDirectories();
            // The root holds tokens and logs: the owner only.
            ::chmod(root.c_str(), 0700);
        }
    } catch (const Poco::Exception&) {
        // Callers that write below the root report their own failures.
    }
    return root;
}

std::string LinuxApplicationPaths::bundleDirectory() {
    std::string bundle = environment("VANTIS_BUNDLE");
    if (!bundle.empty()) return bundle;
    char executable[4096];
    ssize_t length = ::readlink("/proc/self/exe", executable, sizeof(executable) - 1);
    if (length <= 0) return std::string();
    Poco::Path prefix(std::string(executable, static_cast<size_t>(length)));
    prefix.makeParent();  // bin/
    prefix.makeParent();  // the prefix
    return prefix.toString();
}

std::string LinuxApplicationPaths::accountName() {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof(buffer), &found) != 0 || found == nullptr) {
        // An account without a name still gets a stable key of its own.
        return "uid-" + std::to_string(::geteuid());
    }
    return found->pw_name;
}

}  // namespace VantisClient
