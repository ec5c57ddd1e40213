// vantis-client: the client in a terminal. See CliHelp for what it offers.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <Poco/Exception.h>
#include <Poco/File.h>

#include "app/ClientStartup.h"
#include "bridge/InstallNotificationText.h"
#include "cli/CliHelp.h"
#include "cli/CliRequest.h"
#include "cli/EventStream.h"
#include "cli/HeadlessShell.h"
#include "cli/JsonEventView.h"
#include "cli/SignalWatcher.h"
#include "common/ApplicationEnvironment.h"
#include "cli/TerminalView.h"
#include "common/ClientSecrets.h"
#include "common/EReturnCode.h"
#include "common/Logger.h"
#include "common/StopSignals.h"
#include "common/Utilities.h"
#include "install/EInstallResult.h"

using namespace VantisClient;

namespace {

std::string ownExecutable() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

bool asksFor(const std::vector<std::string>& arguments, std::initializer_list<const char*> words) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        for (const char* word : words) {
            if (arguments[i] == word) return true;
        }
    }
    return false;
}

int usageError(const std::string& problem) {
    std::cerr << "vantis-client: " << problem << "\n"
              << CliRequest::Usage() << "run 'vantis-client --help' for every option" << std::endl;
    return CliRequest::EXIT_USAGE;
}

std::string logFile() {
    return Utilities::AppendPath(ApplicationEnvironment::GetLogsPath(), ClientStartup::LOG_FILE_NAME);
}

// A second stop signal does not wait for the quit that the first one started.
[[noreturn]] void quitAtOnce(int signalNumber) {
    Logger::LogWarning("Signal %d while quitting: exiting at once", signalNumber);
    const char text[] = "vantis-client: interrupted again: quitting at once\n";
    if (::write(STDERR_FILENO, text, sizeof(text) - 1) < 0) {
        // Nothing is left to tell it to.
    }
    std::_Exit(CliRequest::EXIT_SIGNAL_BASE + signalNumber);
}

// The updater starts this client anew: it needs the password from the
// environment again, and only it is given it.
std::vector<std::string> relaunchEnvironment(const std::optional<std::string>& password) {
    if (!password) return {};
    return {ClientSecrets::PasswordEntry(*password)};
}

// The exit status of a start-up code, as the system reports it.
int startupExit(int code, const char* why) {
    std::cerr << "vantis-client: " << why << " (" << Utilities::GetReturnCodeDescription(code) << ")" << std::endl;
    return code;
}

// A fresh install starts in a new directory; whatever stands at the path
// already is left alone. A directory the install could not write to fails the
// way the install would: with the disk access result and its words.
bool createGameDirectory(const std::string& path) {
    std::string problem;
    try {
        Poco::File(path).createDirectories();
        if (::access(path.c_str(), W_OK | X_OK) == 0) return true;
        problem = "cannot be written: " + std::string(std::strerror(errno));
    } catch (const Poco::Exception& error) {
        problem = "cannot be created: " + error.displayText();
    }
    std::cerr << "vantis-client: the game's directory " << path << " " << problem << "\n"
              << "vantis-client: " << InstallNotificationText(static_cast<int64_t>(EInstallResult::DiskAccessError))
              << std::endl;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    StopSignals::Block();
    const std::optional<std::string> password = ClientSecrets::TakePassword();
    const std::vector<std::string> arguments(argv, argv + argc);
    if (asksFor(arguments, {"--help", "-h"})) {
        std::cout << CliHelp::Text(logFile(), ApplicationEnvironment::GetApplicationSupportRootPath());
        return CliRequest::EXIT_SUCCESS_CODE;
    }
    if (asksFor(arguments, {"--version"})) {
        std::cout << CliHelp::Version();
        return CliRequest::EXIT_SUCCESS_CODE;
    }
    ClientStartup startup(arguments, CliRequest::Options());
    CliRequest request;
    std::string error;
    if (!CliRequest::Read(startup.options(), request, error)) return usageError(error);
    // Checked before the start-up's own count of the arguments, which would end with a start-up code.
    if (startup.gameId().empty()) return usageError("the game is needed: --gameId=ID");
    // Forgetting the stored sign-in concerns no game's directory.
    if (startup.gamePath().empty() && !request.signOut) return usageError("the game's directory is needed: --path=DIR");
    // The terminal is the view's; the log file keeps every line.
    Logger::SetConsoleOutput(startup.options().debugLaunch());
    int code = startup.initialise();
    if (code != RC_SUCCESS) return startupExit(code, "the client cannot start");
    code = startup.launch(ownExecutable(), relaunchEnvironment(password), ClientStartup::UpdaterHandOver::ReplaceClient);
    if (code != RC_SUCCESS) return startupExit(code, "the client cannot start");
    if (request.install && !createGameDirectory(startup.gamePath())) {
        return CliRequest::EXIT_INSTALL_FAILED_BASE + static_cast<int>(EInstallResult::DiskAccessError);
    }
    if (request.downloadRateLimit) startup.limitDownloadRate(*request.downloadRateLimit);
    std::unique_ptr<EventStream> events;
    std::unique_ptr<IShellView> view;
    if (request.json) {
        events = std::make_unique<EventStream>();
        view = std::make_unique<JsonEventView>(events->stream(), std::cerr);
    } else {
        view = std::make_unique<TerminalView>(
            std::cout, std::cerr,
            TerminalView::Style{isatty(STDOUT_FILENO) != 0, request.quiet, startup.options().debugLaunch()});
    }
    HeadlessShell shell(request, password, *view, std::cerr);
    std::atomic<int> signals{0};
    SignalWatcher watcher([&shell, &signals](int signalNumber) {
        if (signals++ > 0) quitAtOnce(signalNumber);
        shell.interrupt(signalNumber);
    });
    return shell.run(startup);
}
