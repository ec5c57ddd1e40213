// The start of the client and its end, shared by every shell: logging, one
// instance per application-support root, the argument checks, the hand-over to
// the updater, the engine's start with the launched game, the drain loop on
// its own thread, and the quit handshake. A shell adds its own window or
// terminal around it and observes the shell messages.
//
// Thread-safety: a shell calls every operation from its main thread; the drain
// loop runs on the thread startEngine() creates and sleeps until the engine
// queues a notification or the quit wakes it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/BaseAppDelegate.h"
#include "app/SingleInstanceLock.h"
#include "common/CmdlineOptions.h"

namespace VantisClient {

class ClientStartup {
public:
    static const char* const LOG_NAME;
    static const char* const LOG_FILE_NAME;
    static const char* const UPDATER_RELATIVE_PATH;
    // Points the client at another backend: "host:port" of the configuration host.
    static const char* const CONFIG_HOST_VARIABLE;
    // How long a relaunched client waits for the instance that started the updater.
    static constexpr int PREVIOUS_INSTANCE_WAIT_MS = 15000;
    // How long the updater is given to tell its version.
    static constexpr int UPDATER_VERSION_WAIT_MS = 5000;

    // How the updater takes over: a window's client starts it beside itself
    // and ends; a terminal's client becomes it, so that the job, its exit
    // status, Ctrl-C and the terminal carry through to the client it starts.
    enum class UpdaterHandOver { StartBeside, ReplaceClient };

    // `shellOptions` are the shell's own options beside the client's; they are
    // parsed and forwarded to the updater like the others.
    ClientStartup(const std::vector<std::string>& arguments, const std::vector<CmdlineOptions::ExtraOption>& shellOptions);
    ~ClientStartup();
    ClientStartup(const ClientStartup&) = delete;
    ClientStartup& operator=(const ClientStartup&) = delete;

    const CmdlineOptions& options() const { return m_options; }
    // The launched game, from the options or the positional arguments; empty
    // when the arguments do not name it.
    const std::string& gameId() const { return m_gameId; }
    const std::string& gamePath() const { return m_gamePath; }

    // Logging, single instance and the argument count: RC_SUCCESS to go on,
    // else the code to exit with.
    int initialise();
    // Without "runWithoutUpdating", hands over to the updater with the
    // forwarded options (a relative game path made absolute) and returns
    // RC_LAUNCHING_UPDATER, or RC_UPDATER_RUNNING when it cannot be started; a
    // client that replaces itself returns only then. With it, checks the launched game and returns
    // RC_SUCCESS to go on or RC_GAME_ID_NOT_RECOGNIZED. The updater starts the
    // client anew with its own environment plus `relaunchEnvironment`
    // ("NAME=value" entries): what the shell took out of its environment and
    // the next client needs again.
    int launch(const std::string& clientPath, const std::vector<std::string>& relaunchEnvironment,
               UpdaterHandOver handOver = UpdaterHandOver::StartBeside);
    // Downloads of this run go no faster (bytes per second, 0 for no limit)
    // whatever the settings say; the settings are left as they are.
    void limitDownloadRate(uint32_t bytesPerSecond);
    // Starts the engine for the launched game with `controller` as its
    // listener, and the drain loop. The shell observes shell messages before.
    void startEngine(BaseAppDelegate& controller);
    // The quit handshake: aborts a running install (it resumes at the next
    // start instead of holding the quit until it has finished), asks the
    // engine to stop, waits until the drain loop has handled its answer, and
    // destroys the engine.
    void quit();

private:
    int handOverToUpdater(const std::string& clientPath, const std::vector<std::string>& relaunchEnvironment,
                          UpdaterHandOver handOver);
    // Forwards what the updater passes on to the client it starts.
    void prepareUpdaterOptions(const std::string& clientPath);
    // Logs where the updater is and its version, and asks the service to stop.
    void announceHandOver(const std::string& updater, const std::vector<std::string>& arguments);
    // Returns only when the updater could not replace this process.
    int replaceWithUpdater(const std::string& updater, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& relaunchEnvironment);
    void resolveLaunchedGame();
    // The arguments that are no options, in order, without the program path.
    std::vector<std::string> positionalArguments() const;
    void useConfigHostFromEnvironment();
    void startServiceLink();
    void registerDefaultSettings();
    void startWebCacheSeeding();
    // Services the engine's notifications as they are queued, until the
    // controller has performed the shutdown.
    void drain(BaseAppDelegate* controller);
    void wakeDrain();

    std::vector<std::string> m_arguments;
    CmdlineOptions m_options;
    std::string m_gameId;
    std::string m_gamePath;
    std::optional<uint32_t> m_downloadRateLimit;
    SingleInstanceLock m_instanceLock;
    BaseAppDelegate* m_controller = nullptr;
    std::thread m_drainThread;
    std::mutex m_drainMutex;
    std::condition_variable m_drainWake;
    bool m_drainWork = false;
    std::thread m_seedingThread;
    std::thread m_serviceThread;
};

}  // namespace VantisClient
