// The engine of the client: one process-wide object that owns everything
// behind the shell. It runs background work on two task subsystems ("short"
// for start-up, sign-in and status checks, "installer" for installs and other
// long work), keeps the list of known products, paces status and update checks
// with two timers and drives the network from its "ClientCore Loop" thread.
// It never calls the shell directly: results become client notifications that
// wait in a queue until the shell drains it with serviceCalls().
//
// Thread-safety: the static lifecycle operations are called by the shell's
// controller, one at a time. Every other operation may be called from any
// thread. The handlers run on the thread that fires their event (a subsystem
// thread for task results, a timer thread for ticks, the loop thread for the
// network layer's events) and only queue notifications; every listener call
// happens inside serviceCalls(), on the thread that calls it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <memory>
#include <string>
#include <vector>

#include <Poco/Event.h>
#include <Poco/EventArgs.h>
#include <Poco/NotificationQueue.h>
#include <Poco/SharedPtr.h>
#include <Poco/Timer.h>

#include "common/EngineSettings.h"
#include "common/Thread.h"
#include "common/VantisMutex.h"
#include "core/ClientNotification.h"
#include "core/ELicenceAnswer.h"
#include "core/EManifestUpdateCode.h"
#include "core/IClientListener.h"
#include "core/InstallProductTask.h"
#include "core/ProductInstallProgressStruct.h"
#include "core/ProductInstallResultStruct.h"
#include "core/ProductOfferStruct.h"
#include "core/ProductStateChangedStruct.h"
#include "core/ProductUninstallResultStruct.h"
#include "core/ProductVerifyResultStruct.h"
#include "core/ProductUpdateCheckResultStruct.h"
#include "core/ProductsLoaded_Result.h"
#include "core/StatusCheckSchedule.h"
#include "core/SubSystem.h"
#include "model/ProductInfo.h"
#include "model/ProductPresentationData.h"
#include "model/tRevisionList.h"
#include "net/APIStatusResult.h"
#include "net/HttpRequest.h"
#include "net/HttpResponse.h"
#include "net/SignInResult.h"

namespace VantisClient {

class ClientCore {
public:
    // How the engine took a request about an installed game.
    enum class EProductRequest {
        Queued,
        // The engine knows no installed game of that id.
        NotInstalled,
        // An install, verify or removal of the game is queued or running.
        Busy,
    };

    // The API status before the backend's first answer.
    static constexpr int32_t API_STATUS_UNKNOWN = APIStatusResult::STATUS_UNKNOWN;

    // Creates the engine for the game the client was launched for and starts
    // its start-up group; it runs with `settings` until it ends. The listener is
    // not owned and must outlive the engine.
    static void StartWithGameId(const EngineSettings& settings, IClientListener* listener, const std::string& gameId,
                                const std::string& refreshToken);
    // Null when no engine exists.
    static ClientCore* instance();
    static bool isStarted();
    // Stops the installer after its running task; the answer arrives later
    // through the listener's onShutdownRequest().
    static void RequestShutdown();
    // Destroys the engine; called once the shutdown response has been handled.
    static void Shutdown();

    // Dispatches every notification queued so far to the listener, in queue
    // order. Notifications queued meanwhile, also by the listener itself, wait
    // for the next call.
    void serviceCalls();
    // Signing out is driven by the network layer's signed-out event; asking
    // the engine changes nothing.
    void signOut();
    // Exchanges a code from the login page for tokens, on the short subsystem.
    void signWithAuthorizationCode(const std::string& code);
    // Signs in with a refresh token, on the installer subsystem.
    void signInWithRefreshToken(const std::string& token);
    // Queues a backend status check unless one is already queued or running.
    void checkAPIStatusAsync();
    bool isAPIOnline() const;
    std::string getSelectedGameId() const;

    // Products are matched by exact, case-sensitive game id.
    Poco::SharedPtr<ProductInfo> findProduct(const std::string& gameId);
    // A new snapshot of the product; null when it is unknown.
    Poco::SharedPtr<ProductPresentationData> getProductPresentationData(const std::string& gameId);
    // The bytes of the game's installed files as its database records them.
    // Reads the database, blocking: not for the loop thread. 0 when nothing
    // is recorded or the database cannot be read.
    uint64_t getInstalledBytes(const std::string& gameId);
    // Replaces `out` with the products, in index order. They are the engine's
    // records, shared with other threads: read them, never change them.
    void getAllProducts(std::vector<Poco::SharedPtr<ProductInfo>>& out);
    // Puts a changed copy of a product in place of the engine's record of the
    // same game (added, with a warning naming `caller`, when the game is unknown).
    void replaceProduct(const Poco::SharedPtr<ProductInfo>& product, const char* caller);

    // Product operations.
    // Queues an install or update of the game for the selection; false, dropping
    // the request, while an install of the game is queued or running (until its
    // task has returned, also after its result was reported).
    bool installProductAsync(const std::string& gameId, const tRevisionList& revisions, const std::string& language);
    // Hashes every file of the installed game against its manifests and
    // reports the missing and damaged ones through the listener's
    // onProductVerified(); with `repair`, an update then fetches just those,
    // and its result arrives as an install's. Runs on the installer subsystem.
    EProductRequest verifyProductAsync(const std::string& gameId, bool repair);
    // Removes what the install of the game placed and then its records, on the
    // installer subsystem; the answer arrives through onProductUninstalled().
    EProductRequest uninstallProductAsync(const std::string& gameId);
    // Aborts the running install or update only; the installer subsystem goes
    // on with later requests.
    void abortInstallProductAsync();
    // Asks the backend, on the short subsystem, what it offers for the game
    // (languages, extra content) or why it offers nothing; the answer arrives
    // through the listener's onProductOffer(). Ignored while a check is
    // queued or running.
    void checkProductOfferAsync(const std::string& gameId);
    // Called, on any thread, after each notification is queued: lets the
    // thread that drains the queue sleep until there is something to drain.
    // Set once, before the drain loop relies on it.
    void setNotificationHook(std::function<void()> hook);
    // Queues `call` to run inside a later serviceCalls(), on the draining
    // thread, after the notifications queued before it.
    void runOnDrainThread(std::function<void()> call);
    // Checks every known product against its remote manifest on the installer
    // subsystem, unless a check is queued or running there. The check works on
    // copies of the products taken now.
    void checkForUpdatesToManifests();
    // Acts on an update-check result for the game: resumes an interrupted
    // install or update with its target selection, schedules an update of an
    // outdated or offline game that has a selection, or does nothing. True when an install was queued.
    bool proceedWithUpdate(EManifestUpdateCode code, const std::string& gameId);
    // Records a game that another program installed at `path`, as an entry added
    // to the index. With `force`, also when the index cannot be read. False when
    // the path does not exist, the game is already known or storage fails.
    bool ProductInstalledExternally(const std::string& gameId, const std::string& path, bool force);
    // Removes the game from the index and, when that succeeded, its database.
    bool ProductUninstalledExternally(const std::string& gameId);

    // Asks the backend, blocking, whether the signed-in user owns the game,
    // and tells a refusal apart from a failure to ask. Call from task threads
    // only: the answer is delivered on the engine's loop thread.
    static ELicenceAnswer checkUserOwnGame(const std::string& gameId);
    // What an answer to the ownership request says.
    static ELicenceAnswer licenceOfAnswer(const Http::HttpResponse& response);

    // Event handlers. Each runs on the thread that fires its event.
    // Stores the status and paces the update checks by the backend's talk
    // interval, never more often than every 600 s; the interval used is
    // written back into `result`.
    void handleAPIStatusResult(const void* sender, APIStatusResult& result);
    void handleSignInResult(const void* sender, SignInResult& result);
    void handleCoreInitialized(const void* sender, Poco::EventArgs& args);
    // Whatever the result, asks the installer subsystem to make the games left
    // unplayable for lack of permissions playable offline.
    void handleProductsLoadedFromIndex(const void* sender, ProductsLoaded_Result& result);
    void handleProductStateChanged(const void* sender, ProductStateChangedStruct& change);
    void handleInstallerProgressEvent(const void* sender, ProductInstallProgressStruct& progress);
    void handleInstallResult(const void* sender, ProductInstallResultStruct& result);
    void handleCheckForManifestUpdate(const void* sender, ProductUpdateCheckResultStruct& result);
    void handleProductOffer(const void* sender, ProductOfferStruct& offer);
    void handleVerifyResult(const void* sender, ProductVerifyResultStruct& result);
    // A game that was removed is forgotten before the shell hears of it.
    void handleUninstallResult(const void* sender, ProductUninstallResultStruct& result);
    // After a task that worked on a game: the engine's record of the game is
    // replaced by what the databases now hold. Ignored once shutting down.
    void handleReloadProductInfo(const void* sender, const std::string& gameId);
    void handleSignOut(const void* sender, Poco::EventArgs& args);
    void handleAuthLost(const void* sender, Poco::EventArgs& args);
    void installProductAborted(const void* sender, Poco::EventArgs& args);
    void tickApiStatusCheck(Poco::Timer& timer);
    void tickCheckForUpdates(Poco::Timer& timer);

private:
    friend class ClientCoreTestAccess;

    explicit ClientCore(const EngineSettings& settings);
    ~ClientCore();
    ClientCore(const ClientCore&) = delete;
    ClientCore& operator=(const ClientCore&) = delete;

    void start(IClientListener* listener, const std::string& gameId, const std::string& refreshToken);
    void pushStartupGroup(IClientListener* listener, const std::string& refreshToken);
    ClientTask::Ptr newStatusTask(bool singleAttempt);
    ClientTask::Ptr newSignInTask(const std::string& refreshToken);
    void paceUpdateChecks(APIStatusResult& result);
    // The status timer's next tick: the normal period after a success, within
    // seconds after a failure (StatusCheckSchedule).
    void scheduleNextStatusCheck(bool online);
    // Every request's end, on the loop thread: a request to the backend that
    // contradicts the shown status has its status checked at once.
    void handleBackendOutcome(const Http::HttpRequest& request, bool answered);
    Poco::SharedPtr<ProductInfo> findProductLocked(const std::string& gameId) const;
    // Gives a game that offers nothing yet the languages and game ids the
    // update check found, so that its card can choose what to install.
    void adoptOffer(const ProductUpdateCheckResultStruct& result);
    void answerShutdown();
    // An install task whose events reach the engine's handlers.
    InstallProductTask::Ptr newInstallTask(const RemoteProductDefinition& definition,
                                                     InstallProductTask::Mode mode);
    // Queues the install task unless an install, verify or removal of its game is scheduled.
    bool pushInstallTask(const InstallProductTask::Ptr& task);
    void queueNotification(ClientNotification* notification);
    void reportAuthEnded(int32_t kind);
    static void loopFunction(void* core);
    void runLoop();

    static std::atomic<ClientCore*> sm_instance;

    const EngineSettings m_settings;
    std::unique_ptr<SubSystem> m_shortSubSystem;
    std::unique_ptr<SubSystem> m_installerSubSystem;
    std::atomic<IClientListener*> m_listener{nullptr};
    Poco::NotificationQueue m_notificationQueue;
    std::mutex m_hookMutex;
    std::function<void()> m_notificationHook;
    // Keeps the check for a scheduled install or removal of a game and the
    // push of another together.
    std::mutex m_productRequestMutex;
    VantisMutex m_productMutex;
    std::vector<Poco::SharedPtr<ProductInfo>> m_products;
    Poco::SharedPtr<Poco::Timer> m_apiStatusTimer;
    Poco::SharedPtr<Poco::Timer> m_updateCheckTimer;
    std::unique_ptr<Thread> m_loopThread;
    // Cuts the loop thread's pause short when the engine stops or an answer arrives.
    Poco::Event m_loopWakeUp;
    std::atomic<bool> m_stop{false};
    // Makes product reloads a no-op.
    std::atomic<bool> m_shuttingDown{false};
    // A shutdown request waits for its answer.
    std::atomic<bool> m_shutdownPending{false};
    std::atomic<int32_t> m_apiStatus{API_STATUS_UNKNOWN};
    // The last status check heard the backend (which may still have said "offline").
    std::atomic<bool> m_statusCheckAnswered{false};
    StatusCheckSchedule m_statusSchedule{m_settings.statusRetryMs};
    // A restart that meets the timer's stop would keep it running and the
    // stop waiting for ever: the stop is announced under this lock first.
    std::mutex m_statusTimerMutex;
    bool m_statusTimerStopping = false;
    // Guards the selected game id and the signed-in user, which handlers on
    // both subsystem threads write and read.
    mutable VantisMutex m_identityMutex;
    std::string m_selectedGameId;
    std::wstring m_userName;
    std::wstring m_avatar;
};

}  // namespace VantisClient
