// vantis-updater: this platform's self-updater. There is nothing to update in
// place here, so it hands straight back to the client: it replaces itself
// with the client, passing on its own arguments plus the two flags that tell
// the client not to start the updater again and to wait for the instance that
// started it. The client is the one named by "--clientPath=PATH", else
// <bundle>/bin/vantis-client, the bundle being $VANTIS_BUNDLE or the directory
// two levels above this program's own (<bundle>/libexec/vantis).
//
// "vantis-updater --version" alone prints "vantis-updater VERSION (BUILD)",
// which the client logs before it hands over.
//
// Exit status: none when the client starts (the process becomes the client);
// 1 with a message on stderr when it cannot be started.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const CLIENT_PATH_OPTION = "--clientPath=";
const char* const ADDED_FLAGS[] = {"--runWithoutUpdating", "--waitForPreviousInstance"};
const char* const CLIENT_IN_BUNDLE = "/bin/vantis-client";
// Everything after it is no option to the client.
const char* const END_OF_OPTIONS = "--";
const int CANNOT_START_CLIENT = 1;

std::string parentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ownExecutable() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return length > 0 ? std::string(buffer.data(), static_cast<size_t>(length)) : std::string();
}

std::string bundleDirectory() {
    const char* fromEnvironment = std::getenv("VANTIS_BUNDLE");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
    const std::string executable = ownExecutable();
    if (executable.empty()) return std::string();
    // <bundle>/libexec/vantis/vantis-updater
    return parentOf(parentOf(parentOf(executable)));
}

using Arguments = std::vector<std::string>;

Arguments::const_iterator endOfOptions(const Arguments& arguments) {
    return std::find(arguments.begin(), arguments.end(), END_OF_OPTIONS);
}

std::string clientPath(const Arguments& arguments) {
    const size_t prefixLength = std::strlen(CLIENT_PATH_OPTION);
    for (auto argument = arguments.begin(); argument != endOfOptions(arguments); ++argument) {
        if (argument->size() > prefixLength && argument->compare(0, prefixLength, CLIENT_PATH_OPTION) == 0) {
            return argument->substr(prefixLength);
        }
    }
    const std::string bundle = bundleDirectory();
    return bundle.empty() ? std::string() : bundle + CLIENT_IN_BUNDLE;
}

// The flags go among the options: after a "--" the client would take them for
// plain words, start the updater again, and the two would relaunch each other.
Arguments clientArguments(const std::string& client, const Arguments& arguments) {
    const auto optionsEnd = endOfOptions(arguments);
    Arguments result{client};
    result.insert(result.end(), arguments.begin(), optionsEnd);
    for (const char* flag : ADDED_FLAGS) {
        if (std::find(arguments.begin(), optionsEnd, flag) == optionsEnd) result.push_back(flag);
    }
    result.insert(result.end(), optionsEnd, arguments.end());
    return result;
}

// Returns only when the client could not be started.
void replaceWithClient(const Arguments& argv) {
    std::vector<char*> pointers;
    for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);
    ::execv(argv.front().c_str(), pointers.data());
}

}  // namespace

int main(int argc, char** argv) {
    const Arguments arguments(argv + 1, argv + argc);
    if (arguments == Arguments{"--version"}) {
        std::cout << "vantis-updater " << VANTIS_VERSION << " (" << VANTIS_BUILD_TIME << ")\n";
        return 0;
    }
    const std::string client = clientPath(arguments);
    if (client.empty()) {
        std::cerr << "vantis-updater: cannot find the client: this program's own location is unknown and "
                     "neither --clientPath nor VANTIS_BUNDLE is given\n";
        return CANNOT_START_CLIENT;
    }
    replaceWithClient(clientArguments(client, arguments));
    const int reason = errno;
    std::cerr << "vantis-updater: cannot start the client " << client << ": " << std::strerror(reason) << "\n";
    return CANNOT_START_CLIENT;
}
