#include "core/ClientCore.h"

#include <Poco/Delegate.h>
#include <Poco/Net/SSLManager.h>
#include <Poco/UnicodeConverter.h>

#include "common/ClientUserPreferences.h"
#include "common/Logger.h"
#include "common/ScopedLock.h"
#include "common/VantisErrorHandler.h"
#include "core/APIStatusNotification.h"
#include "core/AuthLostNotification.h"
#include "core/CheckAPIStatusTask.h"
#include "core/CoreInitializedNotification.h"
#include "core/FixDirectoryPrivilegesTask.h"
#include "core/GetTokenAndUserDetailsTask.h"
#include "core/LoadProductsTask.h"
#include "core/MultiTask.h"
#include "core/ProductStateChangedNotification.h"
#include "core/ShutdownResponseNotification.h"
#include "core/SignInResultNotification.h"
#include "core/SignInUserTask.h"
#include "net/HttpManager.h"
#include "storage/StorageDBSerializer.h"

namespace VantisClient {
namespace {

const long LOOP_PAUSE_MS = 50;
const long API_STATUS_CHECK_PERIOD_MS = 600000;
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

void ClientCore::StartWithGameId(IUserPreferences* preferences, IClientListener* listener, const std::string& gameId,
                                 const std::string& refreshToken) {
    ClientCore* core = new ClientCore();
    sm_instance = core;
    core->start(preferences, listener, gameId, refreshToken);
}

ClientCore* ClientCore::instance() { return sm_instance; }

bool ClientCore::isStarted() { return sm_instance != nullptr; }

void ClientCore::RequestShutdown() {
    ClientCore* core = sm_instance;
    if (core == nullptr) return;
    // Subscribed before the abort, so the stop cannot be missed.
    core->m_installerSubSystem->stoppedEvent += Poco::delegate(core, &ClientCore::installProductAborted);
    core->m_installerSubSystem->abortCurrentTask();
    core->m_shuttingDown = true;
}

void ClientCore::Shutdown() {
    Logger::LogInfo("Destroying Core");
    StorageDBSerializer::Shutdown();
    // The pointer is cleared first, so no caller reaches an engine being destroyed.
    delete sm_instance.exchange(nullptr);
}

ClientCore::ClientCore() {
    m_loopThread.reset(new Thread("ClientCore Loop"));
    m_loopThread->start(&ClientCore::loopFunction, this);
    // Each subsystem's task-finished event gets the product-reload handler
    // when the product operations arrive.
    m_installerSubSystem.reset(new SubSystem("installer"));
    m_shortSubSystem.reset(new SubSystem("short"));
    HttpManager::Open();
    HttpManager* http = HttpManager::Instance();
    http->signedOutEvent += Poco::delegate(this, &ClientCore::handleSignOut);
    http->authLostEvent += Poco::delegate(this, &ClientCore::handleAuthLost);
    // An answer reaches its listener as soon as it is in, not at the next pass.
    http->setCompletionHook([this] { m_loopWakeUp.set(); });
}

ClientCore::~ClientCore() {
    if (m_apiStatusTimer) m_apiStatusTimer->stop();
    m_stop = true;
    m_loopWakeUp.set();
    m_loopThread->join();
    m_loopThread.reset();
    HttpManager::Shutdown();
    Poco::Net::SSLManager::instance().shutdown();
    // Both task threads end before either subsystem goes: a handler running on
    // one of them may still push work onto the other.
    m_installerSubSystem->stop();
    m_shortSubSystem->stop();
    m_installerSubSystem.reset();
    m_shortSubSystem.reset();
}

void ClientCore::start(IUserPreferences* preferences, IClientListener* listener, const std::string& gameId,
                       const std::string& refreshToken) {
    VantisErrorHandler::Start();
    ClientUserPreferences::Set(preferences);
    m_listener = listener;
    StorageDBSerializer::Start();
    Logger::LogInfo("ClientCore::StartWithGameId %s", gameId.c_str());
    {
        ScopedLock lock(m_identityMutex);
        m_selectedGameId = gameId;
    }
    // The update-check timer exists before the start-up group runs: the
    // group's status check already paces it.
    m_apiStatusTimer = new Poco::Timer(API_STATUS_CHECK_PERIOD_MS, API_STATUS_CHECK_PERIOD_MS);
    m_updateCheckTimer = new Poco::Timer(UPDATE_CHECK_PERIOD_MS, UPDATE_CHECK_PERIOD_MS);
    pushStartupGroup(listener, refreshToken);
    m_apiStatusTimer->start(Poco::TimerCallback<ClientCore>(*this, &ClientCore::tickApiStatusCheck));
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

// Handlers

void ClientCore::handleAPIStatusResult(const void*, APIStatusResult& result) {
    // A configuration file that could not be read leaves the last known status.
    if (result.status == APIStatusResult::STATUS_UNKNOWN) result.status = m_apiStatus;
    Logger::LogInfo("API status is: %s", result.status == APIStatusResult::STATUS_ONLINE ? "online" : "offline");
    m_apiStatus = result.status;
    paceUpdateChecks(result);
    queueNotification(new APIStatusNotification(result.status, result.gamecardEndpoint, result.interval));
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

void ClientCore::installProductAborted(const void*, Poco::EventArgs&) {
    queueNotification(new ShutdownResponseNotification());
}

void ClientCore::tickApiStatusCheck(Poco::Timer&) { checkAPIStatusAsync(); }

void ClientCore::tickCheckForUpdates(Poco::Timer&) {
    // Update checks run after each successful sign-in; this tick only keeps the pace.
}

void ClientCore::queueNotification(ClientNotification* notification) {
    m_notificationQueue.enqueueNotification(notification);
}

}  // namespace VantisClient
