// The names of the command-line options and the words of the "command" option.
// Both are an interface between the family's programs: the client forwards its
// options to the updater, which reads them under these names.
#pragma once

namespace VantisClient {

namespace OptionNames {
inline constexpr const char* GAME_ID = "gameId";
inline constexpr const char* COMMAND = "command";
inline constexpr const char* WAIT_FOR_PREVIOUS_INSTANCE = "waitForPreviousInstance";
inline constexpr const char* RUN_WITHOUT_UPDATING = "runWithoutUpdating";
inline constexpr const char* CEF_LOGGING = "cefLogging";
inline constexpr const char* DEBUG_LAUNCH = "debugLaunch";
inline constexpr const char* SKIP_SERVICE_RUNNING_CHECK = "skipServiceRunningCheck";
inline constexpr const char* SHOW_DEBUG_WINDOW = "showDebugWindow";
inline constexpr const char* DEELEVATED = "deelevated";
inline constexpr const char* INSTALLATION_PATH = "installationPath";
inline constexpr const char* BUNDLE_PATH = "bundlePath";
inline constexpr const char* CLIENT_PATH = "clientPath";
inline constexpr const char* GAME_PATH = "path";
inline constexpr const char* CHANNEL = "channel";
inline constexpr const char* FALLBACK_RUN = "fallbackRun";
inline constexpr const char* FORCE_UPDATE = "forceUpdate";
}  // namespace OptionNames

// The client records and forwards a command but acts on none.
namespace CommandStrings {
inline constexpr const char* Launch = "launch";
inline constexpr const char* Installed = "installed";
inline constexpr const char* UninstallStart = "uninstallStart";
inline constexpr const char* UninstallComplete = "uninstallComplete";
inline constexpr const char* Shutdown = "shutdown";
inline constexpr const char* InstallService = "installService";
}  // namespace CommandStrings

}  // namespace VantisClient
