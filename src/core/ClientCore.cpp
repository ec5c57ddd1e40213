#include "core/ClientCore.h"

#include <algorithm>

#include <Poco/Delegate.h>
#include <Poco/Net/SSLManager.h>
#include <Poco/UnicodeConverter.h>

#include "common/ClientSettings.h"
#include "common/Logger.h"
#include "common/ScopedLock.h"
#include "common/json/Serializer.h"
#include "common/VantisErrorHandler.h"
#include "core/APIStatusNotification.h"
#include "core/AuthLostNotification.h"
#include "core/CheckAPIStatusTask.h"
#include "core/CheckForManifestUpdateNotification.h"
#include "core/CheckForUpdatesToManifestsTask.h"
#include "core/CheckProductOfferTask.h"
#include "core/CoreInitializedNotification.h"
#include "core/DeferredCallNotification.h"
#include "core/FixDirectoryPrivilegesTask.h"
#include "core/GetTokenAndUserDetailsTask.h"
#include "core/InstallProductTask.h"
#include "core/InstallProgressNotification.h"
#include "core/InstallResultNotification.h"
#include "core/LoadProductsTask.h"
#include "core/MultiTask.h"
#include "core/ProductInfoLocalPathChecks.h"
#include "core/ProductOfferNotification.h"
#include "core/ProductStateChangedNotification.h"
#include "core/ProductUninstalledNotification.h"
#include "core/ProductVerifiedNotification.h"
#include "core/ShutdownResponseNotification.h"
#include "core/SignInResultNotification.h"
#include "core/SignInUserTask.h"
#include "core/UninstallProductTask.h"
#include "model/MiniManifestLoader.h"
#include "net/HttpManager.h"
#include "net/RequestFactory.h"
#include "net/SyncHTTPRequest.h"
#include "storage/StorageDBSerializer.h"

namespace VantisClient {
namespace {

const long LOOP_PAUSE_MS = 50;
const long UPDATE_CHECK_PERIOD_MS = 3600000;
// The backend may ask for update checks no more often than this.
const int64_t MIN_TALK_INTERVAL_SECONDS = 600;
// Far beyond any real talk interval; keeps the timer's arithmetic in range
// whatever number the backend sends.
const int64_t MAX_TALK_INTERVAL_SECONDS = 365LL * 24 * 3600;

std::wstring toWide(const std::string& utf8) {
    std::wstring wide;
    Poco::UnicodeConverter::convert(utf8, wide);
    return wide;
}

}  // namespace

std::atomic<ClientCore*> ClientCore::sm_instance{nullptr};

// Lifecycle

void ClientCore::StartWithGameId(const EngineSettings& settings, IClientListener* listener,
                                 const std::string& gameId, const std::string& refreshToken) {
    ClientCore* core = new ClientCore(settings);
    sm_instance = core;
    core->start(listener, gameId, refreshToken);
}

ClientCore* ClientCore::instance() { return sm_instance; }

bool ClientCore::isStarted() { return sm_instance != nullptr; }

void ClientCore::RequestShutdown() {
    ClientCore* core = sm_instance;
    if (core == nullptr) return;
    core->m_shutdownPending = true;
    // Subscribed before the abort, so the stop cannot be missed; once only, so
    // a repeated request is answered once per stop.
    SubSystem& installer = *core->m_installerSubSystem;
    installer.stoppedEvent -= Poco::delegate(core, &ClientCore::installProductAborted);
    installer.stoppedEvent += Poco::delegate(core, &ClientCore::installProductAborted);
    installer.abortCurrentTask();
    core->m_shuttingDown = true;
    // An installer that had stopped before fired its event already.
    if (installer.hasStopped()) core->answerShutdown();
}

void ClientCore::Shutdown() {
    Logger::LogInfo("Destroying Core");
    StorageDBSerializer::Shutdown();
    // The pointer is cleared first, so no caller reaches an engine being destroyed.
    delete sm_instance.exchange(nullptr);
}

ClientCore::ClientCore(const EngineSettings& settings) : m_settings(settings) {
    m_loopThread.reset(new Thread("ClientCore Loop"));
    m_loopThread->start(&ClientCore::loopFunction, this);
    m_installerSubSystem.reset(new SubSystem("installer"));
    m_installerSubSystem->taskFinishedEvent += Poco::delegate(this, &ClientCore::handleReloadProductInfo);
    m_shortSubSystem.reset(new SubSystem("short"));
    m_shortSubSystem->taskFinishedEvent += Poco::delegate(this, &ClientCore::handleReloadProductInfo);
    HttpManager::Open();
    HttpManager* http = HttpManager::Instance();
    http->signedOutEvent += Poco::delegate(this, &ClientCore::handleSignOut);
    http->authLostEvent += Poco::delegate(this, &ClientCore::handleAuthLost);
    // An answer reaches its listener as soon as it is in, not at the next pass.
    http->setCompletionHook([this] { m_loopWakeUp.set(); });
    http->setOutcomeHook(
        [this](const Http::HttpRequest& request, bool answered) { handleBackendOutcome(request, answered); });
}

ClientCore::~ClientCore() {
    {
        std::lock_guard<std::mutex> lock(m_statusTimerMutex);
        m_statusTimerStopping = true;
    }
    if (m_apiStatusTimer) m_apiStatusTimer->stop();
    // Tasks may be inside the HTTP manager: its waits end now, but it goes only
    // after both task threads have ended. They end before either subsystem
    // goes too: a handler running on one of them may still push work onto the other.
    HttpManager::Close();
    m_installerSubSystem->stop();
    m_shortSubSystem->stop();
    m_stop = true;
    m_loopWakeUp.set();
    m_loopThread->join();
    m_loopThread.reset();
    HttpManager::Shutdown();
    Poco::Net::SSLManager::instance().shutdown();
    m_installerSubSystem.reset();
    m_shortSubSystem.reset();
}

void ClientCore::start(IClientListener* listener, const std::string& gameId, const std::string& refreshToken) {
    VantisErrorHandler::Start();
    m_listener = listener;
    StorageDBSerializer::Start(m_settings.storagePath);
    Logger::LogInfo("ClientCore::StartWithGameId %s", gameId.c_str());
    {
        ScopedLock lock(m_identityMutex);
        m_selectedGameId = gameId;
    }
    // The update-check timer exists before the start-up group runs: the
    // group's status check already paces it.
    m_apiStatusTimer = new Poco::Timer(StatusCheckSchedule::NORMAL_PERIOD_MS, StatusCheckSchedule::NORMAL_PERIOD_MS);
    m_updateCheckTimer = new Poco::Timer(UPDATE_CHECK_PERIOD_MS, UPDATE_CHECK_PERIOD_MS);
    // Running before the start-up group, so that its status check can set the
    // time of the next one (a timer that has not started ignores that).
    m_apiStatusTimer->start(Poco::TimerCallback<ClientCore>(*this, &ClientCore::tickApiStatusCheck));
    pushStartupGroup(listener, refreshToken);
    m_updateCheckTimer->start(Poco::TimerCallback<ClientCore>(*this, &ClientCore::tickCheckForUpdates));
}

void ClientCore::pushStartupGroup(IClientListener* listener, const std::string& refreshToken) {
    // The sub-tasks run in this order: backend status, local library, and the
    // sign-in with a stored refresh token when there is one.
    MultiTask::Ptr group = new MultiTask();
    group->addSubTask(newStatusTask(true));
    LoadProductsTask::Ptr loadTask =
        new LoadProductsTask(listener->getCurrentGameLocalPath(), listener->getCurrentGameId());
    loadTask->productsLoadedEvent += Poco::delegate(this, &ClientCore::handleProductsLoadedFromIndex);
    group->addSubTask(loadTask);
    if (!refreshToken.empty()) group->addSubTask(newSignInTask(refreshToken));
    group->finishedEvent += Poco::delegate(this, &ClientCore::handleCoreInitialized);
    m_shortSubSystem->pushUniqueTask(group);
}

ClientTask::Ptr ClientCore::newStatusTask(bool singleAttempt) {
    CheckAPIStatusTask::Ptr task = new CheckAPIStatusTask(singleAttempt);
    task->apiStatusEvent += Poco::delegate(this, &ClientCore::handleAPIStatusResult);
    return task;
}

ClientTask::Ptr ClientCore::newSignInTask(const std::string& refreshToken) {
    SignInUserTask::Ptr task = new SignInUserTask(refreshToken, SignInUserTask::LOGIN_WITH_REFRESH_TOKEN);
    task->signInResultEvent += Poco::delegate(this, &ClientCore::handleSignInResult);
    return task;
}

void ClientCore::loopFunction(void* core) { static_cast<ClientCore*>(core)->runLoop(); }

void ClientCore::runLoop() {
    while (!m_stop) {
        HttpManager::ProcessDataThread();
        m_loopWakeUp.tryWait(LOOP_PAUSE_MS);
    }
}

// Shell-facing operations

void ClientCore::serviceCalls() {
    // Taken out first, so that a slow listener never holds the queue.
    std::vector<ClientNotification::Ptr> pending;
    for (;;) {
        Poco::AutoPtr<Poco::Notification> next(m_notificationQueue.dequeueNotification());
        if (!next) break;
        pending.push_back(next.cast<ClientNotification>());
    }
    IClientListener* listener = m_listener;
    for (ClientNotification::Ptr& notification : pending) notification->dispatchToClient(listener);
}

void ClientCore::signOut() {}

void ClientCore::signWithAuthorizationCode(const std::string& code) {
    GetTokenAndUserDetailsTask::Ptr task = new GetTokenAndUserDetailsTask();
    task->setAuthorizationCode(code);
    task->signInResultEvent += Poco::delegate(this, &ClientCore::handleSignInResult);
    m_shortSubSystem->pushUniqueTask(task);
}

void ClientCore::signInWithRefreshToken(const std::string& token) {
    m_installerSubSystem->pushUniqueTask(newSignInTask(token));
}

void ClientCore::checkAPIStatusAsync() { m_shortSubSystem->pushUniqueTask(newStatusTask(false)); }

bool ClientCore::isAPIOnline() const { return m_apiStatus == APIStatusResult::STATUS_ONLINE; }

std::string ClientCore::getSelectedGameId() const {
    ScopedLock lock(m_identityMutex);
    return m_selectedGameId;
}

Poco::SharedPtr<ProductInfo> ClientCore::findProduct(const std::string& gameId) {
    ScopedLock lock(m_productMutex);
    return findProductLocked(gameId);
}

Poco::SharedPtr<ProductPresentationData> ClientCore::getProductPresentationData(const std::string& gameId) {
    ScopedLock lock(m_productMutex);
    Poco::SharedPtr<ProductInfo> product = findProductLocked(gameId);
    if (!product) return Poco::SharedPtr<ProductPresentationData>();
    return product->constructProductPresentationData();
}

uint64_t ClientCore::getInstalledBytes(const std::string& gameId) {
    ProductInfo product;
    if (!StorageDBSerializer::DeserializeProduct(gameId, &product)) return 0;
    uint64_t bytes = 0;
    for (const auto& entry : product.getFiles().getInstalledFiles()) bytes += entry.second->getFileInfo().getSize();
    return bytes;
}

Poco::SharedPtr<ProductInfo> ClientCore::findProductLocked(const std::string& gameId) const {
    for (const Poco::SharedPtr<ProductInfo>& product : m_products) {
        if (product->getGameId() == gameId) return product;
    }
    return Poco::SharedPtr<ProductInfo>();
}

void ClientCore::getAllProducts(std::vector<Poco::SharedPtr<ProductInfo>>& out) {
    out.clear();
    ScopedLock lock(m_productMutex);
    out = m_products;
}

// Product operations

bool ClientCore::installProductAsync(const std::string& gameId, const tRevisionList& revisions,
                                     const std::string& language) {
    const InstallProductTask::Ptr task =
        newInstallTask(RemoteProductDefinition(gameId, revisions, language, false), InstallProductTask::Mode::Install);
    const std::string selection = ProductIdentification(gameId, 0, revisions, language).getDebugIdentificationString();
    if (pushInstallTask(task)) {
        Logger::LogInfo("Install scheduled for %s", selection.c_str());
        return true;
    }
    Logger::LogInfo("Install for %s not scheduled: one for the game, or its removal, is queued or running",
                    selection.c_str());
    return false;
}

InstallProductTask::Ptr ClientCore::newInstallTask(const RemoteProductDefinition& definition,
                                                   InstallProductTask::Mode mode) {
    // What the person chose in the settings since the start applies from the next install on.
    const EngineSettings settings = ClientSettings::Stored().appliedTo(m_settings);
    InstallProductTask::Ptr task = new InstallProductTask(definition, settings, mode);
    task->progressEvent += Poco::delegate(this, &ClientCore::handleInstallerProgressEvent);
    task->resultEvent += Poco::delegate(this, &ClientCore::handleInstallResult);
    task->stateChangedEvent += Poco::delegate(this, &ClientCore::handleProductStateChanged);
    task->verifyEvent += Poco::delegate(this, &ClientCore::handleVerifyResult);
    return task;
}

bool ClientCore::pushInstallTask(const InstallProductTask::Ptr& task) {
    std::lock_guard<std::mutex> lock(m_productRequestMutex);
    if (m_installerSubSystem->isScheduled(ScheduledTaskId(UninstallProductTask::STR_ID, task->GetGameId()))) {
        return false;
    }
    return m_installerSubSystem->pushUniqueTask(task);
}

ClientCore::EProductRequest ClientCore::verifyProductAsync(const std::string& gameId, bool repair) {
    const Poco::SharedPtr<ProductInfo> product = findProduct(gameId);
    const EProductState state = product ? product->getProductState() : EProductState::None;
    if (!product || product->getRevisionList().empty() || state == EProductState::None ||
        state == EProductState::Installing) {
        Logger::LogWarning("No verify of game %s: it is not installed", gameId.c_str());
        return EProductRequest::NotInstalled;
    }
    using Mode = InstallProductTask::Mode;
    const InstallProductTask::Ptr task =
        newInstallTask(RemoteProductDefinition(gameId, product->getRevisionList(), product->getLanguage(), false),
                       repair ? Mode::VerifyAndRepair : Mode::VerifyOnly);
    if (!pushInstallTask(task)) {
        Logger::LogInfo("Verify of game %s not scheduled: an install or removal of it is queued or running",
                        gameId.c_str());
        return EProductRequest::Busy;
    }
    Logger::LogInfo("Verify%s scheduled for %s", repair ? " and repair" : "",
                    product->getDebugIdentificationString().c_str());
    return EProductRequest::Queued;
}

ClientCore::EProductRequest ClientCore::uninstallProductAsync(const std::string& gameId) {
    if (!findProduct(gameId)) {
        Logger::LogWarning("No uninstall of game %s: the game is not among the known products", gameId.c_str());
        return EProductRequest::NotInstalled;
    }
    UninstallProductTask::Ptr task = new UninstallProductTask(gameId);
    task->resultEvent += Poco::delegate(this, &ClientCore::handleUninstallResult);
    std::lock_guard<std::mutex> lock(m_productRequestMutex);
    if (m_installerSubSystem->isScheduled(ScheduledTaskId(InstallProductTask::STR_ID, gameId)) ||
        !m_installerSubSystem->pushUniqueTask(task)) {
        Logger::LogWarning("No uninstall of game %s: an install, verify or removal of it is queued or running",
                           gameId.c_str());
        return EProductRequest::Busy;
    }
    Logger::LogInfo("Uninstall scheduled for game %s", gameId.c_str());
    return EProductRequest::Queued;
}

void ClientCore::abortInstallProductAsync() { m_installerSubSystem->abortRunningTask(InstallProductTask::STR_ID); }

void ClientCore::checkProductOfferAsync(const std::string& gameId) {
    CheckProductOfferTask::Ptr task = new CheckProductOfferTask(gameId);
    task->resultEvent += Poco::delegate(this, &ClientCore::handleProductOffer);
    m_shortSubSystem->pushUniqueTask(task);
}

void ClientCore::setNotificationHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(m_hookMutex);
    m_notificationHook = std::move(hook);
}

void ClientCore::runOnDrainThread(std::function<void()> call) {
    queueNotification(new DeferredCallNotification(std::move(call)));
}

void ClientCore::checkForUpdatesToManifests() {
    Logger::LogInfo("Checking manifests for available updates...");
    std::vector<Poco::SharedPtr<ProductInfo>> copies;
    {
        ScopedLock lock(m_productMutex);
        for (const Poco::SharedPtr<ProductInfo>& product : m_products) copies.push_back(new ProductInfo(*product));
    }
    CheckForUpdatesToManifestsTask::Ptr task = new CheckForUpdatesToManifestsTask(copies);
    task->updateCheckResultEvent += Poco::delegate(this, &ClientCore::handleCheckForManifestUpdate);
    m_installerSubSystem->pushUniqueTask(task);
}

bool ClientCore::proceedWithUpdate(EManifestUpdateCode code, const std::string& gameId) {
    if (code == EManifestUpdateCode::CheckFailed) return false;
    Poco::SharedPtr<ProductInfo> product = findProduct(gameId);
    if (!product) {
        Logger::LogWarning("No update of game %s: the game is not among the known products", gameId.c_str());
        return false;
    }
    const EProductState state = product->getProductState();
    if (state == EProductState::Installing || state == EProductState::Updating ||
        state == EProductState::UpdatingUnplayable) {
        // An index entry may lose its target; the product's own selection is
        // then the best guess of what was being installed.
        const Poco::SharedPtr<ProductIdentification> target = product->getTargetIdentification();
        const bool targetSelects = target && !target->revisions.empty();
        if (!targetSelects && product->getRevisionList().empty()) {
            // A first install that failed early: resuming "nothing" would fail
            // after every sign-in. The user's next choice installs the game.
            Logger::LogInfo("No resume of game %s: neither the interrupted install nor the game holds a selection",
                            gameId.c_str());
            return false;
        }
        Logger::LogInfo("Automatically resuming update to game %s because product state is %s; current: %s, remote: %s",
                        gameId.c_str(), GetProductStateName(state), product->getDebugIdentificationString().c_str(),
                        target ? target->getDebugIdentificationString().c_str() : "-");
        return installProductAsync(product->getGameId(),
                                   targetSelects ? target->revisions : product->getRevisionList(),
                                   targetSelects ? target->language : product->getLanguage());
    }
    const bool needsUpdating = code == EManifestUpdateCode::UpdateNeeded;
    if (!needsUpdating && state != EProductState::Offline && state != EProductState::OfflineUnplayable) return false;
    if (product->getRevisionList().empty()) {
        // A game that was never installed has no selection to bring up to date:
        // installing "nothing" would only fail. The user's first choice installs it.
        Logger::LogInfo("No update of game %s: nothing of it was ever selected for installation", gameId.c_str());
        return false;
    }
    Logger::LogInfo("Automatically scheduling update to game %s because it %s",
                    product->getDebugIdentificationString().c_str(), needsUpdating ? "needs updating" : "is offline");
    return installProductAsync(product->getGameId(), product->getRevisionList(), product->getLanguage());
}

bool ClientCore::ProductInstalledExternally(const std::string& gameId, const std::string& path, bool force) {
    Logger::LogInfo("Processing installed gameId=%s path=%s", gameId.c_str(), path.c_str());
    Poco::SharedPtr<ProductInfo> product = new ProductInfo;
    product->setGameId(gameId);
    product->setProductState(EProductState::OfflineUnplayable, false);
    ProductInfoLocalPathChecks(*product, path);
    if (product->getLocalPath().empty()) {
        Logger::LogInfo("Failed checking product local path; install aborted");
        return false;
    }
    product->setMiniManifestContents(MiniManifestLoader(gameId, product->getLocalPath()).loadAndMergeMiniManifests());
    StorageDBSerializer::Products index;
    if (!StorageDBSerializer::DeserializeIndex(index) && !force) {
        Logger::LogError("Failed fetching index during product %s external installation processing", gameId.c_str());
        return false;
    }
    for (const Poco::SharedPtr<ProductInfo>& entry : index) {
        if (entry->getGameId() != gameId) continue;
        Logger::LogInfo("Product %s already installed", gameId.c_str());
        return false;
    }
    // Only this entry is added: an index that could not be read may still hold
    // every other game, which a rewrite from what was read would drop.
    if (!StorageDBSerializer::UpdateProductInIndex(product.get()) ||
        !StorageDBSerializer::SerializeProduct(product.get())) {
        return false;
    }
    Logger::LogInfo("Product %s installation complete", gameId.c_str());
    return true;
}

bool ClientCore::ProductUninstalledExternally(const std::string& gameId) {
    Logger::LogInfo("Processing uninstallComplete gameId=%s", gameId.c_str());
    if (!StorageDBSerializer::DeleteProductFromIndex(gameId)) return false;
    StorageDBSerializer::DeleteProductDB(gameId);
    return true;
}

ELicenceAnswer ClientCore::checkUserOwnGame(const std::string& gameId) {
    Http::HttpResponse response;
    try {
        Http::HttpRequest request = Http::RequestFactory::getUserOwnProduct(gameId);
        if (SyncHTTPRequest::makeRequest(request, response, SyncHTTPRequest::ONE_ATTEMPT, true) !=
            SyncHTTPRequest::ANSWERED) {
            // A refused token fails the request after the session has ended;
            // only while it lasts is a failure the network's.
            HttpManager* http = HttpManager::Instance();
            const bool signedIn = http != nullptr && http->getSignInState() == HttpManager::SIGNED_IN;
            return signedIn ? ELicenceAnswer::ConnectionProblem : ELicenceAnswer::SessionLost;
        }
    } catch (const std::exception& error) {
        Logger::LogWarning("Error while checking game ownership: %s", error.what());
        return ELicenceAnswer::ServerProblem;
    }
    return licenceOfAnswer(response);
}

ELicenceAnswer ClientCore::licenceOfAnswer(const Http::HttpResponse& response) {
    const int32_t status = response.statusCode;
    if (status == 200) {
        ISerializable::json body;
        if (Serializer::DeserializeFromBuffer(body, response.body, Serializer::JSON)) return ELicenceAnswer::Owned;
        Logger::LogWarning("The answer to a game ownership check is no JSON document");
        return ELicenceAnswer::ServerProblem;
    }
    Logger::LogWarning("Error %d while checking game ownership", static_cast<int>(status));
    if (status == 403 || status == 404) return ELicenceAnswer::NotOwned;
    // A 401 that reaches the caller came back after a renewed token.
    if (status == 401) return ELicenceAnswer::SessionLost;
    return ELicenceAnswer::ServerProblem;
}

// Handlers

void ClientCore::handleAPIStatusResult(const void*, APIStatusResult& result) {
    Logger::LogInfo("API status is: %s", result.status == APIStatusResult::STATUS_ONLINE ? "online" : "offline");
    m_apiStatus = result.status;
    m_statusCheckAnswered = result.answered;
    scheduleNextStatusCheck(result.status == APIStatusResult::STATUS_ONLINE);
    paceUpdateChecks(result);
    queueNotification(new APIStatusNotification(result.status, result.gamecardEndpoint, result.interval));
}

void ClientCore::scheduleNextStatusCheck(bool online) {
    const bool wasFailing = m_statusSchedule.failures() > 0;
    const long delay = online ? m_statusSchedule.recordSuccess() : m_statusSchedule.recordFailure();
    if (online && !wasFailing) return;
    if (!online) {
        Logger::LogInfo("Backend status check failed %u time(s) in a row; checking again in %ld ms",
                        m_statusSchedule.failures(), delay);
    }
    std::lock_guard<std::mutex> lock(m_statusTimerMutex);
    if (!m_statusTimerStopping) m_apiStatusTimer->restart(delay);
}

void ClientCore::handleBackendOutcome(const Http::HttpRequest& request, bool answered) {
    if (!Http::RequestFactory::IsBackendRequest(request)) return;
    const bool online = m_apiStatus == APIStatusResult::STATUS_ONLINE;
    if (answered && !online && !m_statusCheckAnswered) {
        Logger::LogInfo("The backend answered a request while its status check could not reach it; checking now");
        checkAPIStatusAsync();
    } else if (!answered && online) {
        Logger::LogInfo("A request to the backend failed while it counted as online; checking its status now");
        checkAPIStatusAsync();
    }
}

void ClientCore::paceUpdateChecks(APIStatusResult& result) {
    if (m_updateCheckTimer->getPeriodicInterval() / 1000 == result.interval) return;
    if (result.interval < MIN_TALK_INTERVAL_SECONDS) {
        result.interval = MIN_TALK_INTERVAL_SECONDS;
    } else if (result.interval > MAX_TALK_INTERVAL_SECONDS) {
        result.interval = MAX_TALK_INTERVAL_SECONDS;
    }
    m_updateCheckTimer->setPeriodicInterval(static_cast<long>(result.interval * 1000));
}

void ClientCore::handleSignInResult(const void*, SignInResult& result) {
    if (result.status == SignInResult::STATUS_SUCCESS) {
        ScopedLock lock(m_identityMutex);
        m_userName = toWide(result.userName);
        m_avatar = toWide(result.avatar);
    }
    queueNotification(new SignInResultNotification(result));
    // After failed sign-ins too: the backend may have been the reason.
    if (m_apiStatus != APIStatusResult::STATUS_ONLINE) checkAPIStatusAsync();
}

void ClientCore::handleProductsLoadedFromIndex(const void*, ProductsLoaded_Result& result) {
    if (!result.failed) {
        ScopedLock lock(m_productMutex);
        m_products = result.products;
    }
    FixDirectoryPrivilegesTask::Ptr fixPrivileges = new FixDirectoryPrivilegesTask();
    fixPrivileges->productStateChangedEvent += Poco::delegate(this, &ClientCore::handleProductStateChanged);
    m_installerSubSystem->pushUniqueTask(fixPrivileges);
}

void ClientCore::handleProductStateChanged(const void*, ProductStateChangedStruct& change) {
    queueNotification(new ProductStateChangedNotification(change.product));
}

void ClientCore::handleInstallerProgressEvent(const void*, ProductInstallProgressStruct& progress) {
    queueNotification(
        new InstallProgressNotification(progress.product, progress.status, progress.progress, progress.byteCount));
}

void ClientCore::handleInstallResult(const void*, ProductInstallResultStruct& result) {
    queueNotification(new InstallResultNotification(result.product, result.result));
}

void ClientCore::handleCheckForManifestUpdate(const void*, ProductUpdateCheckResultStruct& result) {
    adoptOffer(result);
    queueNotification(new CheckForManifestUpdateNotification(result.code, result.gameId));
}

void ClientCore::handleProductOffer(const void*, ProductOfferStruct& offer) {
    queueNotification(new ProductOfferNotification(offer));
}

void ClientCore::handleVerifyResult(const void*, ProductVerifyResultStruct& result) {
    queueNotification(new ProductVerifiedNotification(result));
}

void ClientCore::handleUninstallResult(const void*, ProductUninstallResultStruct& result) {
    if (result.outcome == ProductUninstallResultStruct::Outcome::Removed) {
        ScopedLock lock(m_productMutex);
        m_products.erase(std::remove_if(m_products.begin(), m_products.end(),
                                        [&](const Poco::SharedPtr<ProductInfo>& product) {
                                            return product->getGameId() == result.gameId;
                                        }),
                         m_products.end());
    }
    queueNotification(new ProductUninstalledNotification(result));
}

void ClientCore::handleReloadProductInfo(const void*, const std::string& gameId) {
    if (m_shuttingDown) return;
    StorageDBSerializer::Products index;
    if (!StorageDBSerializer::DeserializeIndex(index)) return;
    auto entry = std::find_if(index.begin(), index.end(), [&](const Poco::SharedPtr<ProductInfo>& product) {
        return product->getGameId() == gameId;
    });
    if (entry == index.end()) return;
    Poco::SharedPtr<ProductInfo> product = *entry;
    if (!StorageDBSerializer::DeserializeProduct(gameId, product.get())) return;
    product->setMiniManifestContents(MiniManifestLoader(gameId, product->getLocalPath()).loadAndMergeMiniManifests());
    const Poco::SharedPtr<ProductIdentification>& target = product->getTargetIdentification();
    Logger::LogInfo("Reloaded product info from DB for product %s, remote: %s",
                    product->getDebugIdentificationString().c_str(),
                    target ? target->getDebugIdentificationString().c_str() : "-");
    replaceProduct(product, "handleReloadProductInfo");
}

void ClientCore::adoptOffer(const ProductUpdateCheckResultStruct& result) {
    if (result.availableGameIds.empty()) return;
    ScopedLock lock(m_productMutex);
    Poco::SharedPtr<ProductInfo> known = findProductLocked(result.gameId);
    // An installed game keeps what its install recorded; only a game that offers
    // nothing yet (never installed) learns what it could install.
    if (!known || !known->getAvailableGameIDs().empty()) return;
    Poco::SharedPtr<ProductInfo> offered = new ProductInfo(*known);
    offered->getAvailableGameIDs() = result.availableGameIds;
    offered->setAvailableLanguages(result.availableLanguages);
    for (Poco::SharedPtr<ProductInfo>& product : m_products) {
        if (product->getGameId() == result.gameId) product = offered;
    }
}

void ClientCore::replaceProduct(const Poco::SharedPtr<ProductInfo>& product, const char* caller) {
    ScopedLock lock(m_productMutex);
    for (Poco::SharedPtr<ProductInfo>& known : m_products) {
        if (known->getGameId() != product->getGameId()) continue;
        known = product;
        return;
    }
    Logger::LogWarning("Product %s not found in ClientCore products during %s; inserting",
                       product->getGameId().c_str(), caller);
    m_products.push_back(product);
}

void ClientCore::handleCoreInitialized(const void*, Poco::EventArgs&) {
    InitializationData data;
    data.result = InitializationData::RESULT_READY;
    {
        ScopedLock lock(m_identityMutex);
        data.selectedGameId = m_selectedGameId;
        data.userName = m_userName;
        data.avatar = m_avatar;
    }
    data.apiStatus = m_apiStatus;

    const std::string currentGameId = m_listener.load()->getCurrentGameId();
    {
        ScopedLock lock(m_productMutex);
        Poco::SharedPtr<ProductInfo> product = findProductLocked(currentGameId);
        if (!product) {
            data.result = InitializationData::RESULT_PRODUCT_UNUSABLE;
            Logger::LogWarning("GameID %s was not found by ClientCore. Failed to initialize.",
                               data.selectedGameId.c_str());
        } else if (product->getLocalPath().empty()) {
            data.result = InitializationData::RESULT_PRODUCT_UNUSABLE;
            Logger::LogWarning("Failed checking product local path; launch failed");
        }
    }
    queueNotification(new CoreInitializedNotification(data));
}

void ClientCore::handleSignOut(const void*, Poco::EventArgs&) { reportAuthEnded(AuthLostNotification::KIND_SIGNED_OUT); }

void ClientCore::handleAuthLost(const void*, Poco::EventArgs&) { reportAuthEnded(AuthLostNotification::KIND_AUTH_LOST); }

void ClientCore::reportAuthEnded(int32_t kind) {
    m_installerSubSystem->onAuthLost();
    m_shortSubSystem->onAuthLost();
    queueNotification(new AuthLostNotification(kind));
}

void ClientCore::installProductAborted(const void*, Poco::EventArgs&) { answerShutdown(); }

void ClientCore::answerShutdown() {
    if (m_shutdownPending.exchange(false)) queueNotification(new ShutdownResponseNotification());
}

void ClientCore::tickApiStatusCheck(Poco::Timer&) { checkAPIStatusAsync(); }

void ClientCore::tickCheckForUpdates(Poco::Timer&) {
    // Update checks run after each successful sign-in; this tick only keeps the pace.
}

void ClientCore::queueNotification(ClientNotification* notification) {
    m_notificationQueue.enqueueNotification(notification);
    std::lock_guard<std::mutex> lock(m_hookMutex);
    if (m_notificationHook) m_notificationHook();
}

}  // namespace VantisClient
