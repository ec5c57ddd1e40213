#include "app/BaseAppDelegate.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <Poco/Delegate.h>
#include <Poco/String.h>
#include <Poco/URI.h>

#include "app/PlayTaskPath.h"
#include "bridge/GameCardDetails.h"
#include "bridge/GameViewResolver.h"
#include "bridge/ShellMessageCenter.h"
#include "common/ApplicationEnvironment.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "common/WordSplitter.h"
#include "core/ClientCore.h"
#include "net/RefreshTokenProvider.h"
#include "platform/Platform.h"

namespace VantisClient {
namespace {

const char* const TRAFFIC_CHANNEL = "HttpTraffic";

void logViewType(int32_t type) { Logger::LogChannelInfo(TRAFFIC_CHANNEL, "Loading webview of type: %i", type); }

bool isWebAddress(const std::string& address) {
    try {
        const Poco::URI uri(address);
        return (uri.getScheme() == "http" || uri.getScheme() == "https") && !uri.getHost().empty();
    } catch (const Poco::Exception&) {
        return false;
    }
}

// A regular file the client may execute.
bool isProgram(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The task's working directory when it names one inside the game's directory,
// else the game's directory.
std::string workingDirectoryOf(const PlayTaskStruct& task, const std::string& installPath) {
    std::string workingDirectory;
    if (task.workingDir.empty()) return installPath;
    if (PlayTaskPath::ResolveBelow(installPath, PlayTaskPath::Compose(installPath, task.workingDir), workingDirectory)) {
        return workingDirectory;
    }
    Logger::LogWarning("Working directory %s of the play task lies outside the game's directory; using %s",
                       task.workingDir.c_str(), installPath.c_str());
    return installPath;
}

// The base game and decimal game ids, each once: nothing that could name a
// directory or leave the base game out (which would remove it).
bool isSelectionOfGame(const tRevisionList& revisions, const std::string& baseGameId) {
    if (!revisions.containsGID(baseGameId)) return false;
    for (const std::string& gameId : revisions) {
        if (gameId.empty() || gameId.size() > 20 || gameId.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        if (std::count(revisions.begin(), revisions.end(), gameId) > 1) return false;
    }
    return true;
}

// The login page's code sign-in, through the engine.
bool startCodeSignIn(const std::string& code) {
    ClientCore* core = ClientCore::instance();
    if (core == nullptr) {
        Logger::LogWarning("No engine runs to sign in with the authorization code");
        return false;
    }
    core->signWithAuthorizationCode(code);
    return true;
}

Poco::Dynamic::Array textsOf(const std::vector<std::string>& texts) {
    return Poco::Dynamic::Array(texts.begin(), texts.end());
}

// The shell learns what became of a play task that starts no program it could watch.
void postOpened(const PlayTaskStruct& task) {
    ShellMessage message(ShellMessage::PLAY_TASK_OPENED);
    message.values["name"] = task.name;
    ShellMessageCenter::Post(message);
}

void postLaunchFailure(const PlayTaskStruct& task, const std::string& reason) {
    ShellMessageCenter::Post(ShellMessage::PlayTaskFailed(task.name, reason));
}

// The name the catalogue gives a game id; empty when it gives none.
std::string catalogueName(const AvailableGameIDInfo& available) {
    const std::string& name = available.names.getText();
    return name == LocString::StringNotLocalized ? std::string() : name;
}

std::string catalogueNameOf(const std::vector<AvailableGameIDInfo>& offered, const std::string& gameId) {
    for (const AvailableGameIDInfo& available : offered) {
        if (available.gameId == gameId) return catalogueName(available);
    }
    return std::string();
}

// One game id of the offer as the shell shows it: its name and what it
// downloads in each language.
Poco::DynamicStruct offeredContent(const ProductOfferStruct& offer, const AvailableGameIDInfo& available,
                                   const std::vector<std::string>& languages) {
    Poco::DynamicStruct sizes;
    for (const std::string& language : languages) sizes[language] = offer.bytesOf(available.gameId, language);
    Poco::DynamicStruct record;
    record["gameId"] = available.gameId;
    record["name"] = catalogueName(available);
    record["sizes"] = sizes;
    return record;
}

GameCardDetails::OfferedSizes offeredSizes(const ProductOfferStruct& offer, const std::vector<std::string>& languages) {
    GameCardDetails::OfferedSizes sizes;
    for (const AvailableGameIDInfo& available : offer.gameIds) {
        for (const std::string& language : languages) {
            sizes[available.gameId][language] = offer.bytesOf(available.gameId, language);
        }
    }
    return sizes;
}

std::string verifiedText(const ProductVerifyResultStruct& result) {
    const size_t faults = result.missingFiles.size() + result.damagedFiles.size();
    if (faults == 0) return "Verified: every file is intact";
    std::string text = "Verified: " + std::to_string(result.missingFiles.size()) + " missing and " +
                       std::to_string(result.damagedFiles.size()) + " damaged";
    return text + (result.repairing ? "; repairing them" : "");
}

std::string uninstalledText(const ProductUninstallResultStruct& result) {
    using Outcome = ProductUninstallResultStruct::Outcome;
    switch (result.outcome) {
        case Outcome::Removed:
            return result.keptFiles.empty()
                       ? "Uninstalled"
                       : "Uninstalled; kept your files: " +
                             Poco::cat(std::string(", "), result.keptFiles.begin(), result.keptFiles.end());
        case Outcome::GameRunning: return "Not uninstalled: the game is running";
        case Outcome::InstallRunning: return "Not uninstalled: an install of the game is running";
        case Outcome::NotInstalled: return "Not uninstalled: the game is not installed";
        case Outcome::Failed: return "Uninstall incomplete: some files could not be removed";
        case Outcome::Aborted: return "Uninstall stopped before it was done";
    }
    return "Uninstall ended in an unknown way";
}

}  // namespace

BaseAppDelegate::BaseAppDelegate() {
    m_apiStatus.status = APIStatusResult::STATUS_UNKNOWN;
    m_apiStatus.interval = 0;
    shutdownEvent += Poco::delegate(this, &BaseAppDelegate::onShutdownVantisClient);
}

BaseAppDelegate::~BaseAppDelegate() {
    shutdownEvent -= Poco::delegate(this, &BaseAppDelegate::onShutdownVantisClient);
    apiStatusInitializedEvent -= Poco::delegate(this, &BaseAppDelegate::OnApiStatusInitialized);
    if (m_gameViewHandler) {
        m_gameViewHandler->productSelectionChangeEvent -= Poco::delegate(this, &BaseAppDelegate::onProductSelectionChange);
        m_gameViewHandler->playTaskLaunchRequestEvent -= Poco::delegate(this, &BaseAppDelegate::onProductLaunchRequest);
        m_gameViewHandler->cardRequestEvent -= Poco::delegate(this, &BaseAppDelegate::onCardRequest);
    }
    if (m_loginPageHandler) {
        m_loginPageHandler->continueOfflineEvent -= Poco::delegate(this, &BaseAppDelegate::handleContinueOffline);
    }
}

std::string BaseAppDelegate::getCurrentGameId() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_currentGameId;
}

std::string BaseAppDelegate::getCurrentGameLocalPath() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_currentGameLocalPath;
}

void BaseAppDelegate::setCurrentGameId(const std::string& gameId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_currentGameId = gameId;
}

void BaseAppDelegate::setCurrentGameLocalPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_currentGameLocalPath = path;
}

void BaseAppDelegate::setCurrentProduct(const Poco::SharedPtr<ProductPresentationData>& product) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_currentProduct = product;
    if (!product) return;
    m_currentGameId = product->gameId;
    m_currentGameLocalPath = product->contents.installPath;
}

Poco::SharedPtr<ProductPresentationData> BaseAppDelegate::getCurrentProduct() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_currentProduct;
}

Poco::SharedPtr<GameViewHandler> BaseAppDelegate::gameViewHandler() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_gameViewHandler;
}

Poco::SharedPtr<LoginPageHandler> BaseAppDelegate::loginPageHandler() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_loginPageHandler;
}

APIStatusResult BaseAppDelegate::apiStatus() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_apiStatus;
}

void BaseAppDelegate::onCoreInitialized(const InitializationData& data) {
    if (data.result != InitializationData::RESULT_READY) {
        Poco::EventArgs args;
        shutdownEvent.notify(this, args);
        return;
    }
    const EUserLoginState loginState = m_loginState;
    // A sign-in that came first may have asked for the card before its bridge existed.
    const bool cardAlreadyRequested = m_currentView == GameCardView;
    const Poco::SharedPtr<ProductPresentationData> product = presentationDataOf(data.selectedGameId);
    if (!product) Logger::LogError("No presentation data for game %s; the card shows nothing.", data.selectedGameId.c_str());
    createBridges(product, loginState == SignedIn);
    apiStatusInitializedEvent += Poco::delegate(this, &BaseAppDelegate::OnApiStatusInitialized);
    onAPIStatusChanged(apiStatus());
    setCurrentProduct(product);
    // Before the page requests below, so that the shell knows the bridges exist.
    ShellMessageCenter::Post(ShellMessage(ShellMessage::ENGINE_INITIALIZED));
    showViewForStatus(data.apiStatus, loginState);
    if (cardAlreadyRequested && m_currentView == GameCardView) loadGameCard();
    showSizeOnDisk();
    Poco::EventArgs args;
    apiStatusInitializedEvent.notify(this, args);
}

Poco::SharedPtr<ProductPresentationData> BaseAppDelegate::presentationDataOf(const std::string& gameId) {
    ClientCore* core = ClientCore::instance();
    return core != nullptr ? core->getProductPresentationData(gameId) : nullptr;
}

void BaseAppDelegate::createBridges(const Poco::SharedPtr<ProductPresentationData>& product, bool signedIn) {
    Poco::SharedPtr<GameViewHandler> gameView;
    if (product) {
        gameView = new GameViewHandler(product, signedIn);
        gameView->productSelectionChangeEvent += Poco::delegate(this, &BaseAppDelegate::onProductSelectionChange);
        gameView->playTaskLaunchRequestEvent += Poco::delegate(this, &BaseAppDelegate::onProductLaunchRequest);
        gameView->cardRequestEvent += Poco::delegate(this, &BaseAppDelegate::onCardRequest);
        std::string accountName;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            accountName = m_accountName;
        }
        gameView->setAccountName(accountName);
    }
    Poco::SharedPtr<LoginPageHandler> loginPage = new LoginPageHandler(startCodeSignIn);
    loginPage->continueOfflineEvent += Poco::delegate(this, &BaseAppDelegate::handleContinueOffline);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_gameViewHandler = gameView;
    m_loginPageHandler = loginPage;
}

void BaseAppDelegate::showViewForStatus(int32_t apiStatus, EUserLoginState loginState) {
    if (apiStatus == APIStatusResult::STATUS_ONLINE && loginState != SignedIn && !m_worksOffline) {
        loadView(LoginPageView);
        return;
    }
    m_cardForLackOfConnection = loginState != SignedIn && !m_worksOffline;
    loadView(GameCardView);
}

void BaseAppDelegate::OnApiStatusInitialized(const void*, Poco::EventArgs&) { onAPIStatusChanged(apiStatus()); }

void BaseAppDelegate::onAPIStatusChanged(APIStatusResult result) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_apiStatus = result;
    }
    ShellMessage message(ShellMessage::API_STATUS_CODE_CHANGED);
    message.values["apiStatusCode"] = result.status;
    message.values["gamecardEndpoint"] = result.gamecardEndpoint;
    ShellMessageCenter::Post(message);
    // The backend came back while the card only stood in for the login page.
    if (result.status == APIStatusResult::STATUS_ONLINE && m_cardForLackOfConnection &&
        m_currentView == GameCardView && m_loginState != SignedIn && m_loginState != SigningInWithToken) {
        m_cardForLackOfConnection = false;
        loadView(LoginPageView);
    }
}

void BaseAppDelegate::loadView(ViewType type) {
    logViewType(type);
    m_viewToLoad = type;
    if (type == m_currentView) return;
    if (type == GameCardView) {
        loadGameCard();
    } else if (type == LoginPageView) {
        ShellMessageCenter::Post(ShellMessage(ShellMessage::LOAD_LOGIN_PAGE));
    }
    m_currentView = type;
}

void BaseAppDelegate::loadGameCard() {
    const std::string gameId = getCurrentGameId();
    const std::string address = "http://" + apiStatus().gamecardEndpoint + "/" + gameId + "/index.html";
    ShellMessage message(ShellMessage::LOAD_GAME_CARD);
    switch (GameViewResolver::GetGameViewAction(gameId, address)) {
        case GameViewResolver::REMOTE_PAGE:
            Logger::LogInfo("Loading game card from web: %s.", address.c_str());
            message.values["gameCardPath"] = address;
            message.values["gameCardType"] = std::string("Remote");
            break;
        case GameViewResolver::WEB_CACHE: {
            const std::string path = Utilities::AppendPath(
                Utilities::AppendPath(ApplicationEnvironment::GetWebcachePath(), gameId), "index.html");
            Logger::LogInfo("Loading game card from web cache (offline), game card path: %s.", path.c_str());
            message.values["gameCardPath"] = path;
            message.values["gameCardType"] = std::string("Local");
            break;
        }
        default:
            Logger::LogInfo("Loading game card fallback page.");
            message.values["gameCardPath"] = ApplicationEnvironment::GetResourcePath("fallbackPage", "htm");
            message.values["gameCardType"] = std::string("Local");
            break;
    }
    ShellMessageCenter::Post(message);
}

void BaseAppDelegate::handleContinueOffline(const void*, Poco::EventArgs&) {
    offMainThread([this] {
        m_cardForLackOfConnection = false;
        loadView(GameCardView);
    });
}

void BaseAppDelegate::onLoginPageLoadFailed() {
    offMainThread([this] {
        m_cardForLackOfConnection = true;
        loadView(GameCardView);
    });
}

bool BaseAppDelegate::handleLoginRedirect(const std::string& address) {
    Poco::SharedPtr<LoginPageHandler> loginPage = loginPageHandler();
    if (m_currentView != LoginPageView || !loginPage) {
        Logger::LogChannelWarning("Browser", "A sign-in redirect arrived while the login page is not shown; ignored.");
        return false;
    }
    return loginPage->onLoginRedirect(address);
}

void BaseAppDelegate::onSignedIn(SignInResult result) {
    Logger::LogInfo("Auth success.");
    m_loginState = SignedIn;
    try {
        if (!RefreshTokenProvider::set(result.refreshToken)) Logger::LogError("Could not save refresh token.");
    } catch (const std::exception&) {
        Logger::LogError("Could not save refresh token.");
    }
    if (ClientCore* core = ClientCore::instance()) core->checkForUpdatesToManifests();
    m_signedIn = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_accountName = result.userName;
    }
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->setAccountName(result.userName);
    // The card of a game not installed shows what its install would download.
    requestProductOffer();
    ShellMessage signedIn(ShellMessage::SIGNED_IN);
    signedIn.values["userName"] = result.userName;
    signedIn.values["userId"] = result.userId;
    ShellMessageCenter::Post(signedIn);
    m_cardForLackOfConnection = false;
    if (Poco::SharedPtr<LoginPageHandler> loginPage = loginPageHandler()) loginPage->onSignInFinished(true);
    // The card learns of the sign-in before the shell is asked to show it: a
    // card shown in between would say that nobody is signed in.
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->onUserStateChanged(true);
    loadView(GameCardView);
}

void BaseAppDelegate::onSignInFailed(SignInResult result) {
    Logger::LogInfo("Auth failed.");
    if (m_loginState == SigningInWithToken) {
        m_loginState = StartupSignInFailed;
    } else {
        Logger::LogWarning("Called unimplemented onSignInFailed result case!");
    }
    if (Poco::SharedPtr<LoginPageHandler> loginPage = loginPageHandler()) loginPage->onSignInFinished(false);
    // A backend that could not be reached says nothing about the token.
    if (result.credentialsRejected) RefreshTokenProvider::remove();
    ShellMessage message(ShellMessage::SIGN_IN_FAILED);
    message.values["credentialsRejected"] = result.credentialsRejected ? 1 : 0;
    ShellMessageCenter::Post(message);
}

void BaseAppDelegate::onSignedOut() {
    Logger::LogInfo("Signed out.");
    m_loginState = SignedOut;
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->onUserStateChanged(false);
    RefreshTokenProvider::remove();
}

void BaseAppDelegate::onAuthLost() {
    Logger::LogInfo("Auth lost.");
    m_loginState = SignedOut;
    RefreshTokenProvider::remove();
    m_signedIn = false;
    // Every change the card asked for would now end "Not authorized": the
    // card stops acting as signed in and the user is asked to sign in again.
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->onUserStateChanged(false);
    showLoginPageAgain();
}

void BaseAppDelegate::requestSignIn() {
    Logger::LogInfo("The user asked to sign in from the game card");
    offMainThread([this] { showLoginPageAgain(); });
}

void BaseAppDelegate::offMainThread(std::function<void()> work) {
    if (ClientCore* core = ClientCore::instance()) {
        core->runOnDrainThread(std::move(work));
        return;
    }
    work();
}

void BaseAppDelegate::showLoginPageAgain() {
    // The login page replaces the card even when the card was shown first:
    // without it there is no way back to signing in short of a restart.
    m_cardForLackOfConnection = false;
    loadView(LoginPageView);
}

void BaseAppDelegate::onProductInstallSuccess(Poco::SharedPtr<ProductPresentationData> product) {
    std::vector<std::string> removed;
    const Poco::SharedPtr<ProductPresentationData> before = getCurrentProduct();
    if (product && before && product->gameId == before->gameId) {
        removed = GameViewHandler::RemovedContentNames(*before, *product);
    }
    // The card and the launches follow the installed game's new info files.
    if (product && product->gameId == getCurrentGameId()) setCurrentProduct(product);
    // Before the result, so that the card that says it shows the new size.
    showSizeOnDisk();
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->onProductInstallSuccess(product);
    postInstallResult(product, EInstallResult::Success, removed);
}

void BaseAppDelegate::onProductInstallFailed(Poco::SharedPtr<ProductPresentationData> product, EInstallResult result) {
    if (result == EInstallResult::ConnectionError || result == EInstallResult::ServerError) {
        if (ClientCore* core = ClientCore::instance()) core->checkAPIStatusAsync();
    }
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) {
        gameView->onProductInstallFailed(product, result);
    }
    postInstallResult(product, result);
}

void BaseAppDelegate::onProductInstallAborted(Poco::SharedPtr<ProductPresentationData> product) {
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->onProductInstallAborted(product);
    postInstallResult(product, EInstallResult::Aborted);
}

void BaseAppDelegate::postInstallResult(const Poco::SharedPtr<ProductPresentationData>& product, EInstallResult result,
                                        const std::vector<std::string>& removedContent) {
    ShellMessage message(ShellMessage::ON_PRODUCT_INSTALL_RESULT);
    // A notification must not call an install that only removed content "complete".
    message.values["removedContent"] = textsOf(removedContent);
    message.values["result"] = static_cast<int32_t>(result);
    message.values["productName"] = product ? nameOf(*product) : getCurrentGameId();
    message.values["iconPath"] = product ? product->contents.iconPath : std::string();
    ShellMessageCenter::Post(message);
}

std::string BaseAppDelegate::nameOf(const ProductPresentationData& product) const {
    if (!product.contents.name.empty()) return product.contents.name;
    // A game not installed yet has no info files to name it: the catalogue's
    // offer does, as the card or the last offer learnt it.
    std::string name = catalogueNameOf(product.availableGameIds, product.gameId);
    const Poco::SharedPtr<ProductPresentationData> current = getCurrentProduct();
    if (name.empty() && current) name = catalogueNameOf(current->availableGameIds, product.gameId);
    if (!name.empty()) return name;
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_offeredName.empty() || m_offeredNameGameId != product.gameId ? product.gameId : m_offeredName;
}

void BaseAppDelegate::handleInstallProgress(Poco::SharedPtr<ProductPresentationData> product,
                                            EInstallStatusCode status, float progress, uint64_t byteCount) {
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) {
        gameView->handleInstallProgress(product, status, progress, byteCount);
    }
    // The card's text rounds the total to MiB; a shell that counts needs the bytes.
    ShellMessage message(ShellMessage::INSTALL_PROGRESS);
    message.values["status"] = static_cast<int32_t>(status);
    message.values["progress"] = static_cast<double>(progress);
    message.values["bytesTotal"] = byteCount;
    ShellMessageCenter::Post(message);
}

void BaseAppDelegate::onProductStateChanged(const std::string&, EProductState) {}

void BaseAppDelegate::onManifestUpdateCheckResults(EManifestUpdateCode code, const std::string& gameId) {
    if (gameId != getCurrentGameId()) return;
    showWhatTheGameOffers(gameId);
    if (m_automaticUpdatesHeld) {
        Logger::LogInfo("No automatic update of game %s: this run verifies or removes it", gameId.c_str());
        return;
    }
    if (ClientCore* core = ClientCore::instance()) core->proceedWithUpdate(code, gameId);
}

void BaseAppDelegate::showWhatTheGameOffers(const std::string& gameId) {
    Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler();
    if (!gameView || !gameView->currentProduct()->availableGameIds.empty()) return;
    // The check found what a game that was never installed offers: its card
    // can now offer the languages and extra content to install.
    const Poco::SharedPtr<ProductPresentationData> product = presentationDataOf(gameId);
    if (!product || product->availableGameIds.empty()) return;
    setCurrentProduct(product);
    gameView->productReloadedFromDB(product);
}

void BaseAppDelegate::onProductOffer(const ProductOfferStruct& offer) {
    std::vector<std::string> languages;
    for (const LanguageInfo& language : offer.languages) languages.push_back(language.asString());
    std::vector<std::string> gameIds;
    Poco::Dynamic::Array content;
    for (const AvailableGameIDInfo& available : offer.gameIds) {
        gameIds.push_back(available.gameId);
        content.push_back(offeredContent(offer, available, languages));
    }
    rememberOfferedName(offer);
    Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler();
    if (gameView && offer.gameId == getCurrentGameId()) gameView->setOfferedSizes(offeredSizes(offer, languages));
    ShellMessage message(ShellMessage::ON_PRODUCT_OFFER);
    message.values["gameId"] = offer.gameId;
    message.values["result"] = static_cast<int32_t>(offer.result);
    message.values["languages"] = textsOf(languages);
    message.values["gameIds"] = textsOf(gameIds);
    message.values["content"] = content;
    ShellMessageCenter::Post(message);
}

void BaseAppDelegate::rememberOfferedName(const ProductOfferStruct& offer) {
    const std::string name = catalogueNameOf(offer.gameIds, offer.gameId);
    if (name.empty()) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_offeredNameGameId = offer.gameId;
    m_offeredName = name;
}

void BaseAppDelegate::onProductVerified(const ProductVerifyResultStruct& result) {
    Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler();
    if (gameView && result.gameId == getCurrentGameId()) gameView->showStateLine(verifiedText(result));
    ShellMessage message(ShellMessage::ON_PRODUCT_VERIFIED);
    message.values["gameId"] = result.gameId;
    message.values["missing"] = textsOf(result.missingFiles);
    message.values["damaged"] = textsOf(result.damagedFiles);
    message.values["repairing"] = result.repairing ? 1 : 0;
    ShellMessageCenter::Post(message);
}

void BaseAppDelegate::onProductUninstalled(const ProductUninstallResultStruct& result) { postUninstalled(result); }

void BaseAppDelegate::postUninstalled(const ProductUninstallResultStruct& result) {
    showUninstalledOnCard(result);
    ShellMessage message(ShellMessage::ON_PRODUCT_UNINSTALLED);
    message.values["gameId"] = result.gameId;
    message.values["outcome"] = static_cast<int32_t>(result.outcome);
    message.values["kept"] = textsOf(result.keptFiles);
    message.values["failed"] = textsOf(result.failedPaths);
    message.values["detail"] = result.detail;
    ShellMessageCenter::Post(message);
}

void BaseAppDelegate::showUninstalledOnCard(const ProductUninstallResultStruct& result) {
    Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler();
    if (!gameView || result.gameId != getCurrentGameId()) return;
    if (result.outcome == ProductUninstallResultStruct::Outcome::Removed) {
        // The library now knows the game as not installed: the card offers Install.
        if (const Poco::SharedPtr<ProductPresentationData> product = presentationDataOf(result.gameId)) {
            setCurrentProduct(product);
            gameView->productReloadedFromDB(product);
        }
        gameView->setSizeOnDisk(0);
    }
    gameView->showStateLine(uninstalledText(result));
}

void BaseAppDelegate::showSizeOnDisk() {
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->setSizeOnDisk(installedBytes());
}

ClientCore::EProductRequest BaseAppDelegate::requestVerify(bool repair) {
    ClientCore* core = ClientCore::instance();
    if (core == nullptr) return ClientCore::EProductRequest::NotInstalled;
    return core->verifyProductAsync(getCurrentGameId(), repair);
}

void BaseAppDelegate::requestUninstall() {
    using Outcome = ProductUninstallResultStruct::Outcome;
    ProductUninstallResultStruct refusal;
    refusal.gameId = getCurrentGameId();
    ClientCore* core = ClientCore::instance();
    if (m_gameWatcher.isWatching()) {
        Logger::LogWarning("Refused to uninstall game %s: the game is running", refusal.gameId.c_str());
        refusal.outcome = Outcome::GameRunning;
        refusal.detail = "the game started from here is running";
    } else if (core == nullptr) {
        refusal.outcome = Outcome::NotInstalled;
    } else {
        switch (core->uninstallProductAsync(refusal.gameId)) {
            case ClientCore::EProductRequest::Queued: return;
            case ClientCore::EProductRequest::NotInstalled: refusal.outcome = Outcome::NotInstalled; break;
            case ClientCore::EProductRequest::Busy: refusal.outcome = Outcome::InstallRunning; break;
        }
    }
    postUninstalled(refusal);
}

void BaseAppDelegate::requestSignOut() {
    const RefreshTokenProvider::ERemoval removal = RefreshTokenProvider::remove();
    Logger::LogInfo("Sign-out: the stored refresh token %s",
                    removal == RefreshTokenProvider::ERemoval::Forgotten    ? "was forgotten"
                    : removal == RefreshTokenProvider::ERemoval::NoneStored ? "was not there"
                                                                            : "could not be removed");
    m_loginState = SignedOut;
    ShellMessage message(ShellMessage::ON_SIGN_OUT);
    message.values["outcome"] = static_cast<int32_t>(removal);
    ShellMessageCenter::Post(message);
}

bool BaseAppDelegate::requestProductOffer() {
    ClientCore* core = ClientCore::instance();
    if (core == nullptr) return false;
    core->checkProductOfferAsync(getCurrentGameId());
    return true;
}

uint64_t BaseAppDelegate::installedBytes() const {
    ClientCore* core = ClientCore::instance();
    return core != nullptr ? core->getInstalledBytes(getCurrentGameId()) : 0;
}

void BaseAppDelegate::checkBackendStatus() {
    if (ClientCore* core = ClientCore::instance()) core->checkAPIStatusAsync();
}

void BaseAppDelegate::onProductSelectionChange(const void*, GameViewHandler::ProductSelectionChange& change) {
    if (m_loginState == SignedIn) {
        ClientCore* core = ClientCore::instance();
        if (core == nullptr) {
            refuseSelection(change, "no engine runs");
        } else if (!core->installProductAsync(change.product->gameId, change.revisions, change.language)) {
            // Also while the game's last install is still returning: a retry soon is taken.
            refuseSelection(change, "an install of the game is still queued or running; try again");
        }
        return;
    }
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) {
        gameView->onProductInstallFailed(change.product, EInstallResult::NotAuthorized);
    }
    Logger::LogError("Attempting product %s installation before login?", change.product->gameId.c_str());
}

void BaseAppDelegate::refuseSelection(const GameViewHandler::ProductSelectionChange& change,
                                      const std::string& reason) {
    Logger::LogWarning("The install of game %s was not started: %s", change.product->gameId.c_str(), reason.c_str());
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->onSelectionRefused(reason);
}

void BaseAppDelegate::onCardRequest(const void*, GameViewHandler::CardRequest& request) {
    using Request = GameViewHandler::ECardRequest;
    switch (request.request) {
        case Request::PauseInstall:
        case Request::CancelInstall:
            if (ClientCore* core = ClientCore::instance()) core->abortInstallProductAsync();
            break;
        case Request::VerifyGame: verifyFromCard(); break;
        case Request::UninstallGame: requestUninstall(); break;
        case Request::OpenInstallFolder: requestOpenInstallFolder(); break;
        case Request::SignOut: signOutFromCard(); break;
        case Request::SignIn: requestSignIn(); break;
    }
}

void BaseAppDelegate::verifyFromCard() {
    const char* text = "Verifying and repairing the game's files";
    switch (requestVerify(true)) {
        case ClientCore::EProductRequest::Queued: break;
        case ClientCore::EProductRequest::NotInstalled: text = "Not verified: the game is not installed"; break;
        case ClientCore::EProductRequest::Busy: text = "Not verified: the game is being installed or removed"; break;
    }
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->showStateLine(text);
}

void BaseAppDelegate::signOutFromCard() {
    requestSignOut();
    m_signedIn = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_accountName.clear();
    }
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) {
        gameView->setAccountName(std::string());
        gameView->onUserStateChanged(false);
    }
    loadView(LoginPageView);
}

void BaseAppDelegate::requestPauseInstall() {
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->pauseInstall();
}

void BaseAppDelegate::requestResumeInstall() {
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->resumeInstall();
}

void BaseAppDelegate::requestCancelInstall() {
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->cancelInstall();
}

bool BaseAppDelegate::requestOpenInstallFolder() {
    const Poco::SharedPtr<ProductPresentationData> product = getCurrentProduct();
    const std::string folder = product ? product->contents.installPath : getCurrentGameLocalPath();
    std::string error;
    struct stat status {};
    bool opened = false;
    if (folder.empty() || ::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        error = "it does not exist";
    } else {
        opened = Platform::DesktopLauncher()->open(folder, error);
    }
    if (!opened) Logger::LogWarning("Unable to open the install folder %s: %s", folder.c_str(), error.c_str());
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) {
        gameView->showStateLine(opened ? "Opened the install folder" : "Could not open the install folder: " + error);
    }
    return opened;
}

bool BaseAppDelegate::requestInstall(const std::string& language, const tRevisionList& revisions) {
    const Poco::SharedPtr<ProductPresentationData> product = getCurrentProduct();
    if (!product || m_loginState != SignedIn) {
        Logger::LogError("Attempting product %s installation before login?", getCurrentGameId().c_str());
        return false;
    }
    if (!isSelectionOfGame(revisions, product->gameId)) {
        Logger::LogWarning("Refused the install of game %s: not a list of game ids with the base game",
                           product->gameId.c_str());
        return false;
    }
    ClientCore* core = ClientCore::instance();
    return core != nullptr && core->installProductAsync(product->gameId, revisions, language);
}

void BaseAppDelegate::onProductLaunchRequest(const void*, GameViewHandler::PlayTaskLaunchRequest& request) {
    const PlayTaskStruct& task = request.playTask;
    const std::string& gameId = request.product->gameId;
    Logger::LogInfo("Launching play task for game %s (%s)", gameId.c_str(), task.gameName.c_str());
    if (task.type == PlayTaskStruct::URLTask) {
        std::string error;
        if (!isWebAddress(task.link)) {
            Logger::LogWarning("Refused to open %s from play task for gameId %s: not a web address", task.link.c_str(),
                               gameId.c_str());
            postLaunchFailure(task, "its link " + task.link + " is not a web address");
        } else if (!Platform::DesktopLauncher()->open(task.link, error)) {
            Logger::LogWarning("Failed to open url %s from play task for gameId %s", task.link.c_str(), gameId.c_str());
            postLaunchFailure(task, "the desktop did not open " + task.link + ": " + error);
        } else {
            postOpened(task);
        }
        return;
    }
    if (task.type == PlayTaskStruct::FileTask) launchFileTask(*request.product, task);
}

void BaseAppDelegate::launchFileTask(const ProductPresentationData& product, const PlayTaskStruct& task) {
    const std::string& installPath = product.contents.installPath;
    const std::string path = PlayTaskPath::Compose(installPath, task.path);
    Logger::LogInfo("PlayTask path %s", path.c_str());
    std::string resolved;
    if (!PlayTaskPath::ResolveBelow(installPath, path, resolved)) {
        Logger::LogWarning("Refused to launch %s: it is missing or lies outside the game's directory %s", path.c_str(),
                           installPath.c_str());
        postLaunchFailure(task, path + " is missing or lies outside the game's directory");
        return;
    }
    // A tool of the game (a settings dialog, a crash handler) is a program
    // like the game; only documents go to the desktop's opener.
    if (task.isPrimary || isProgram(resolved)) {
        launchProgram(resolved, task, installPath);
        return;
    }
    std::string error;
    if (!Platform::DesktopLauncher()->open(resolved, error)) {
        Logger::LogWarning("Unable to open %s with error %s", resolved.c_str(), error.c_str());
        postLaunchFailure(task, "the desktop did not open " + resolved + ": " + error);
    } else {
        postOpened(task);
    }
    // A document opened beside the running game leaves it running: Play stays off.
    if (m_gameWatcher.isWatching()) return;
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->gameClosed();
}

void BaseAppDelegate::launchProgram(const std::string& path, const PlayTaskStruct& task,
                                    const std::string& installPath) {
    // The card refuses a second start of the game itself; a tool started
    // beside it would take the watch over, and the play button would come
    // back while the game still runs.
    if (!task.isPrimary && m_gameWatcher.isWatching()) {
        Logger::LogWarning("Refused to launch %s: the game is running", path.c_str());
        postLaunchFailure(task, "the game is running");
        return;
    }
    std::vector<std::string> arguments;
    std::string error;
    if (!WordSplitter::Split(task.arguments, arguments, error)) {
        Logger::LogWarning("Refused to launch %s: its arguments cannot be read: %s", path.c_str(), error.c_str());
        postLaunchFailure(task, "its arguments cannot be read: " + error);
        return;
    }
    Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler();
    if (gameView) gameView->gameStarted();
    const ILaunchedProgram::Ptr program =
        Platform::DesktopLauncher()->launch(path, arguments, workingDirectoryOf(task, installPath), {}, error);
    if (!program) {
        Logger::LogWarning("Unable to launch process %s with error %s", path.c_str(), error.c_str());
        if (gameView) gameView->gameClosed();
        postLaunchFailure(task, path + " cannot be started: " + error);
        return;
    }
    // Before the watch, so that the end never reaches the shell before the start.
    ShellMessage started(ShellMessage::GAME_STARTED);
    started.values["task"] = task.name;
    started.values["pid"] = program->processId();
    ShellMessageCenter::Post(started);
    m_gameWatcher.watch(program, [this, program, name = task.name]() { postGameClosed(name, program->exitStatus()); });
}

void BaseAppDelegate::postGameClosed(const std::string& taskName, int exitStatus) {
    if (Poco::SharedPtr<GameViewHandler> gameView = gameViewHandler()) gameView->gameClosed();
    ShellMessage ended(ShellMessage::GAME_ENDED);
    ended.values["task"] = taskName;
    ended.values["exitStatus"] = exitStatus;
    ShellMessageCenter::Post(ended);
}

void BaseAppDelegate::onShutdownRequest() {
    Logger::LogInfo("Performing shutdown (onShutdownRequest())");
    performShutdown();
}

void BaseAppDelegate::performShutdown() {
    m_shutdownPerformed = true;
    ShellMessageCenter::Post(ShellMessage(ShellMessage::SHUTDOWN_DONE));
}

void BaseAppDelegate::shutdownRequest() {
    Poco::EventArgs args;
    shutdownEvent.notify(this, args);
}

void BaseAppDelegate::onShutdownVantisClient(const void*, Poco::EventArgs&) {
    if (ClientCore::isStarted()) {
        ClientCore::RequestShutdown();
        return;
    }
    // Without an engine nobody would answer; the drain loop may end at once.
    performShutdown();
}

}  // namespace VantisClient
