#include "app/ClientStartup.h"

#include <pthread.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <Poco/Path.h>
#include <Poco/String.h>

#include "app/DefaultSettings.h"
#include "bridge/WebCacheSeeder.h"
#include "common/ApplicationEnvironment.h"
#include "common/Constants.h"
#include "common/EReturnCode.h"
#include "common/EngineSettings.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "common/json/JsonFile.h"
#include "core/ClientCore.h"
#include "net/HostProvider.h"
#include "net/RefreshTokenProvider.h"
#include "platform/Platform.h"
#include "platform/ProgramStarter.h"
#include "service/VantisServiceInterface.h"

namespace VantisClient {
namespace {

const char* const RUN_WITHOUT_UPDATING_WORD = "runWithoutUpdating";
const char* const UPDATE_CHANNEL_KEY = "updateChannel";

std::string joined(const std::vector<std::string>& arguments) { return Poco::cat(std::string(" "), arguments.begin(), arguments.end()); }

std::string configPath() {
    return Utilities::AppendPath(ApplicationEnvironment::GetApplicationSupportRootPath(), "Config.json");
}

// A relative game path names a place below the directory the client was
// started in; the engine, the service and a client the updater starts need
// the whole path.
std::string absolutePath(const std::string& path) {
    return path.empty() ? path : Poco::Path(path).absolute().toString();
}

// A game id names a directory and a database: only a plain decimal id may.
bool isPlainGameId(const std::string& gameId) {
    if (gameId.empty() || gameId.size() > 20) return false;
    for (char c : gameId) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

struct UpdaterVersion {
    std::string shortVersion = "unknown";
    std::string buildVersion = "unknown";
};

// The updater tells its version as "vantis-updater VERSION (BUILD)".
UpdaterVersion askUpdaterVersion(const std::string& updater) {
    UpdaterVersion version;
    std::string output;
    std::string error;
    const size_t outputLimit = 4096;
    ProgramStarter::Request request;
    request.program = updater;
    request.arguments = {"--version"};
    if (!ProgramStarter::Capture(request, ClientStartup::UPDATER_VERSION_WAIT_MS, outputLimit, output, error)) {
        Logger::LogWarning("The updater %s did not tell its version: %s", updater.c_str(), error.c_str());
        return version;
    }
    const size_t versionStart = output.find(' ');
    const size_t buildStart = output.find(" (", versionStart == std::string::npos ? 0 : versionStart + 1);
    const size_t buildEnd = output.rfind(')');
    if (versionStart == std::string::npos || buildStart == std::string::npos || buildEnd == std::string::npos ||
        buildEnd < buildStart) {
        Logger::LogWarning("The updater %s told its version in an unknown form: %s", updater.c_str(), output.c_str());
        return version;
    }
    version.shortVersion = output.substr(versionStart + 1, buildStart - versionStart - 1);
    version.buildVersion = output.substr(buildStart + 2, buildEnd - buildStart - 2);
    return version;
}

std::string systemRelease() {
    struct utsname names {};
    if (uname(&names) != 0) return "unknown";
    return std::string(names.sysname) + " " + names.release;
}

}  // namespace

const char* const ClientStartup::LOG_NAME = "VantisClient";
const char* const ClientStartup::LOG_FILE_NAME = "VantisClient.log";
const char* const ClientStartup::UPDATER_RELATIVE_PATH = "libexec/vantis/vantis-updater";
const char* const ClientStartup::CONFIG_HOST_VARIABLE = "VANTIS_CONFIG_HOST";

ClientStartup::ClientStartup(const std::vector<std::string>& arguments,
                             const std::vector<CmdlineOptions::ExtraOption>& shellOptions)
    : m_arguments(arguments), m_options(arguments, shellOptions) {
    resolveLaunchedGame();
}

ClientStartup::~ClientStartup() {
    if (m_seedingThread.joinable()) m_seedingThread.join();
    if (m_serviceThread.joinable()) m_serviceThread.join();
}

int ClientStartup::initialise() {
    Logger::Start(LOG_NAME, Utilities::AppendPath(ApplicationEnvironment::GetLogsPath(), LOG_FILE_NAME));
    const int waitMs = m_options.waitForPreviousInstance() ? PREVIOUS_INSTANCE_WAIT_MS : 0;
    std::string error;
    if (!m_instanceLock.acquire(ApplicationEnvironment::GetApplicationSupportRootPath(), waitMs, error)) {
        Logger::LogInfo("The instance lock: %s", error.c_str());
        Logger::LogWarning("Client is already running, closing...");
        return RC_ANOTHER_INSTANCE_RUNNING;
    }
    if (m_arguments.size() < 3) {
        Logger::LogInfo("Bundle path: %s", ApplicationEnvironment::GetExecutableDirectoryPath().c_str());
        Logger::LogWarning("Invalid number of parameters %s", joined(m_arguments).c_str());
        return RC_UPDATER_NOT_ENOUGH_PARAMETERS;
    }
    return RC_SUCCESS;
}

int ClientStartup::launch(const std::string& clientPath, const std::vector<std::string>& relaunchEnvironment,
                          UpdaterHandOver handOver) {
    Logger::LogInfo("Launch params: %s", joined(m_arguments).c_str());
    for (size_t i = 1; i < m_arguments.size(); ++i) {
        if (m_arguments[i] == RUN_WITHOUT_UPDATING_WORD) m_options.setRunWithoutUpdating();
    }
    if (!m_options.runWithoutUpdating()) return handOverToUpdater(clientPath, relaunchEnvironment, handOver);
    if (isPlainGameId(m_gameId)) return RC_SUCCESS;
    Logger::LogError("The game id '%s' is not a decimal game id of 1 to 20 digits; closing.", m_gameId.c_str());
    return RC_GAME_ID_NOT_RECOGNIZED;
}

void ClientStartup::resolveLaunchedGame() {
    if (m_options.gamePath()) m_options.replaceGamePath(absolutePath(*m_options.gamePath()));
    const std::vector<std::string> positional = positionalArguments();
    m_gamePath = m_options.gamePath() ? *m_options.gamePath() : absolutePath(positional.size() > 0 ? positional[0] : "");
    m_gameId = m_options.gameId() ? *m_options.gameId() : (positional.size() > 1 ? positional[1] : "");
}

std::vector<std::string> ClientStartup::positionalArguments() const {
    // The bare word that asks to run here is a request, not the game's path.
    std::vector<std::string> positional = m_options.positionalArguments();
    positional.erase(std::remove(positional.begin(), positional.end(), RUN_WITHOUT_UPDATING_WORD), positional.end());
    return positional;
}

int ClientStartup::handOverToUpdater(const std::string& clientPath,
                                     const std::vector<std::string>& relaunchEnvironment, UpdaterHandOver handOver) {
    prepareUpdaterOptions(clientPath);
    const std::string bundle = ApplicationEnvironment::GetExecutableDirectoryPath();
    const std::string updater = Utilities::AppendPath(bundle, UPDATER_RELATIVE_PATH);
    const std::vector<std::string> arguments = m_options.createArgumentsList();
    if (handOver == UpdaterHandOver::ReplaceClient) return replaceWithUpdater(updater, arguments, relaunchEnvironment);
    std::string error;
    if (!Platform::DesktopLauncher()->launch(updater, arguments, bundle, relaunchEnvironment, error)) {
        Logger::LogError("Unable to launch the updater %s: %s", updater.c_str(), error.c_str());
        return RC_UPDATER_RUNNING;
    }
    announceHandOver(updater, arguments);
    return RC_LAUNCHING_UPDATER;
}

void ClientStartup::prepareUpdaterOptions(const std::string& clientPath) {
    Poco::JSON::Object::Ptr config;
    if (JsonFile::Read(configPath(), config) && config->has(UPDATE_CHANNEL_KEY) &&
        config->get(UPDATE_CHANNEL_KEY).isString() && config->getValue<std::string>(UPDATE_CHANNEL_KEY) == "beta") {
        m_options.setUpdateChannel("beta");
    }
    const std::string bundle = ApplicationEnvironment::GetExecutableDirectoryPath();
    m_options.setBundlePath(bundle);
    m_options.setInstallationPath(Poco::Path(bundle).makeParent().toString());
    if (!m_options.gamePath() && !m_options.gameId()) {
        const std::vector<std::string> positional = positionalArguments();
        if (positional.size() > 0) m_options.setGamePath(absolutePath(positional[0]));
        if (positional.size() > 1) m_options.setGameId(positional[1]);
    }
    // The updater relaunches the shell that asked for it.
    m_options.setClientPath(clientPath);
}

void ClientStartup::announceHandOver(const std::string& updater, const std::vector<std::string>& arguments) {
    const UpdaterVersion version = askUpdaterVersion(updater);
    Logger::LogInfo("VantisUpdater location %s. Version: %s (%s)", updater.c_str(), version.shortVersion.c_str(),
                    version.buildVersion.c_str());
    Logger::LogInfo("Params: %s", joined(arguments).c_str());
    if (!m_options.skipServiceRunningCheck()) VantisServiceInterface().stopService();
}

int ClientStartup::replaceWithUpdater(const std::string& updater, const std::vector<std::string>& arguments,
                                      const std::vector<std::string>& relaunchEnvironment) {
    // Said before the hand-over: once it succeeds, nothing of this client is left to say it.
    announceHandOver(updater, arguments);
    Logger::Close();
    const int reason = ProgramStarter::Replace(updater, arguments, relaunchEnvironment);
    Logger::Reopen();
    Logger::LogError("Unable to launch the updater %s: %s", updater.c_str(), std::strerror(reason));
    return RC_UPDATER_RUNNING;
}

void ClientStartup::limitDownloadRate(uint32_t bytesPerSecond) { m_downloadRateLimit = bytesPerSecond; }

void ClientStartup::startEngine(BaseAppDelegate& controller) {
    m_controller = &controller;
    controller.setCurrentGameLocalPath(m_gamePath);
    controller.setCurrentGameId(m_gameId);
    startServiceLink();
    registerDefaultSettings();
    startWebCacheSeeding();
    useConfigHostFromEnvironment();
    std::string refreshToken;
    // Offline play signs nobody in, also when a token is stored.
    if (!controller.worksOffline() && RefreshTokenProvider::get(refreshToken)) {
        controller.setLoginState(SigningInWithToken);
    }
    EngineSettings settings = EngineSettings::OfThisUser();
    if (m_downloadRateLimit) {
        settings.downloadSpeedLimit = *m_downloadRateLimit;
        settings.downloadSpeedLimitForThisRun = true;
        Logger::LogInfo("Download speed limit for this run: %u bytes per second (the settings are left as they are)",
                        settings.downloadSpeedLimit);
    }
    ClientCore::StartWithGameId(settings, &controller, m_gameId, refreshToken);
    // What the engine queued before the hook is drained by the loop's first pass.
    ClientCore::instance()->setNotificationHook([this] { wakeDrain(); });
    Logger::LogInfo("Using %s system", systemRelease().c_str());
    m_drainThread = std::thread(&ClientStartup::drain, this, &controller);
}

void ClientStartup::useConfigHostFromEnvironment() {
    const char* host = std::getenv(CONFIG_HOST_VARIABLE);
    if (host == nullptr || *host == '\0') return;
    Logger::LogInfo("Configuration host from %s: %s", CONFIG_HOST_VARIABLE, host);
    Http::HostProvider::Instance()->setConfigHost(host);
}

void ClientStartup::startServiceLink() {
    if (m_options.skipServiceRunningCheck()) return;
    std::vector<std::string> paths = {ApplicationEnvironment::GetExecutableDirectoryPath()};
    if (Utilities::GetFileExists(m_gamePath) || Utilities::GetDirectoryExists(m_gamePath)) paths.push_back(m_gamePath);
    // The service may take its time to come up; the engine does not wait for it.
    m_serviceThread = std::thread([paths]() {
        std::unique_ptr<VantisServiceInterface> service = VantisServiceInterface::initWithServiceStart();
        for (const std::string& path : paths) service->requestServiceToFixPrivileges(path);
    });
}

void ClientStartup::registerDefaultSettings() {
    DefaultSettings::Register(ApplicationEnvironment::GetResourcePath("Defaults", "json"), configPath());
}

void ClientStartup::startWebCacheSeeding() {
    const std::string gameId = m_gameId;
    m_seedingThread = std::thread([gameId]() {
        // The thread's name, cut to the kernel's 15 characters.
        pthread_setname_np(pthread_self(), std::string(WebCacheSeeder::THREAD_NAME).substr(0, 15).c_str());
        WebCacheSeeder::seed(gameId);
    });
}

void ClientStartup::drain(BaseAppDelegate* controller) {
    while (!controller->isShutdownPerformed()) {
        if (ClientCore* core = ClientCore::instance()) core->serviceCalls();
        std::unique_lock<std::mutex> lock(m_drainMutex);
        m_drainWake.wait(lock, [this, controller] { return m_drainWork || controller->isShutdownPerformed(); });
        m_drainWork = false;
    }
}

void ClientStartup::wakeDrain() {
    {
        std::lock_guard<std::mutex> lock(m_drainMutex);
        m_drainWork = true;
    }
    m_drainWake.notify_one();
}

void ClientStartup::quit() {
    if (m_controller == nullptr) return;
    if (ClientCore* core = ClientCore::instance()) core->abortInstallProductAsync();
    // The engine may have asked for its own end already (a start that failed).
    if (!m_controller->isShutdownPerformed()) m_controller->shutdownRequest();
    // Without an engine the controller ends the loop itself, with no notification to wake it.
    wakeDrain();
    if (m_drainThread.joinable()) m_drainThread.join();
    // Destroyed on the shell's main thread, the one thread besides the drain
    // loop that calls the engine: no call of the shell can meet an engine
    // being destroyed.
    ClientCore::Shutdown();
    m_controller = nullptr;
}

}  // namespace VantisClient
