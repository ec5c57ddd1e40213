// The controller between the engine and a shell: it hears every engine
// notification, knows the launched game, the user's sign-in and which page the
// shell shows, owns the game card and login page bridges, turns the card's
// requests into engine calls and play-task launches, and tells the shell what
// to do through shell messages (ShellMessageCenter).
//
// Thread-safety: the listener operations run on the shell's drain thread; the
// bridge event handlers and the shell's requests (loadView, shutdownRequest,
// the redirect and page-load reports) on the shell's main thread. Page changes
// asked for on the main thread are carried out on the drain thread while an
// engine runs, since choosing the card asks the backend. The state both read
// is atomic or under the controller's lock; the bridges are created once, on
// the drain thread, and read through copies of their pointers.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <Poco/BasicEvent.h>
#include <Poco/EventArgs.h>
#include <Poco/SharedPtr.h>

#include "app/EUserLoginState.h"
#include "app/LaunchedGameWatcher.h"
#include "app/ViewType.h"
#include "bridge/GameViewHandler.h"
#include "bridge/LoginPageHandler.h"
#include "core/ClientCore.h"
#include "core/IClientListener.h"
#include "model/ProductPresentationData.h"
#include "net/APIStatusResult.h"

namespace VantisClient {

class BaseAppDelegate : public IClientListener {
public:
    BaseAppDelegate();
    ~BaseAppDelegate() override;
    BaseAppDelegate(const BaseAppDelegate&) = delete;
    BaseAppDelegate& operator=(const BaseAppDelegate&) = delete;

    // IClientListener.
    void onSignedIn(SignInResult result) override;
    void onSignInFailed(SignInResult result) override;
    void onSignedOut() override;
    void onAuthLost() override;
    void onProductInstallSuccess(Poco::SharedPtr<ProductPresentationData> product) override;
    void onProductInstallFailed(Poco::SharedPtr<ProductPresentationData> product, EInstallResult result) override;
    void onProductInstallAborted(Poco::SharedPtr<ProductPresentationData> product) override;
    void onProductStateChanged(const std::string& gameId, EProductState state) override;
    void handleInstallProgress(Poco::SharedPtr<ProductPresentationData> product, EInstallStatusCode status,
                               float progress, uint64_t byteCount) override;
    void onManifestUpdateCheckResults(EManifestUpdateCode code, const std::string& gameId) override;
    // Posted to the shell as ON_PRODUCT_OFFER.
    void onProductOffer(const ProductOfferStruct& offer) override;
    // Posted to the shell as ON_PRODUCT_VERIFIED.
    void onProductVerified(const ProductVerifyResultStruct& result) override;
    // Posted to the shell as ON_PRODUCT_UNINSTALLED.
    void onProductUninstalled(const ProductUninstallResultStruct& result) override;
    void onCoreInitialized(const InitializationData& data) override;
    void onShutdownRequest() override;
    void onAPIStatusChanged(APIStatusResult result) override;
    std::string getCurrentGameId() const override;
    std::string getCurrentGameLocalPath() const override;

    // Set by the shell before the engine starts.
    void setCurrentGameId(const std::string& gameId);
    void setCurrentGameLocalPath(const std::string& path);
    void setLoginState(EUserLoginState state) { m_loginState = state; }
    EUserLoginState getLoginState() const { return m_loginState; }
    void setCurrentProduct(const Poco::SharedPtr<ProductPresentationData>& product);
    Poco::SharedPtr<ProductPresentationData> getCurrentProduct() const;

    void loadView(ViewType type);
    void loadGameCard();
    ViewType getViewToLoad() const { return m_viewToLoad; }
    ViewType getCurrentView() const { return m_currentView; }
    bool isSignedIn() const { return m_signedIn; }

    // The card's install request made by a shell without a page: the same
    // rules as a selection change from the page (signed in, decimal game ids
    // with the base game). False when it was refused or an install of the game
    // is already queued or running.
    bool requestInstall(const std::string& language, const tRevisionList& revisions);
    // Asks the engine what the backend offers for the current game; the answer
    // reaches the shell as ON_PRODUCT_OFFER. False when no engine runs.
    bool requestProductOffer();
    // Verifies the current game's files, and repairs them with `repair`: what
    // was found reaches the shell as ON_PRODUCT_VERIFIED, a repair's end as
    // ON_PRODUCT_INSTALL_RESULT. Busy while an install of the game is queued
    // or running (an update the engine scheduled itself among them).
    ClientCore::EProductRequest requestVerify(bool repair);
    // Removes the current game; the outcome reaches the shell as
    // ON_PRODUCT_UNINSTALLED, also when it is refused at once (the game that
    // this controller started still runs, an install runs, no engine).
    void requestUninstall();
    // Forgets the stored refresh token of this account; the shell hears
    // ON_SIGN_OUT. Needs no engine.
    void requestSignOut();
    // The user asks to sign in from the card (offline, or after a lost
    // session): the login page is shown again. On the shell's main thread.
    void requestSignIn();
    // Set before the engine starts: the user works without signing in (plays
    // or removes an installed game), as after "Continue offline" on the login
    // page. No stored token is used and the card is shown whether or not the
    // backend can be reached.
    void setWorksOffline() { m_worksOffline = true; }
    bool worksOffline() const { return m_worksOffline; }
    // The engine's update checks no longer start updates of the current game:
    // for a run that verifies or removes it, which an update would overtake.
    void holdAutomaticUpdates() { m_automaticUpdatesHeld = true; }
    // The bytes of the current game's installed files, read from the library
    // (blocking); 0 without an engine.
    uint64_t installedBytes() const;
    // Asks the engine to check the backend's status again; the answer reaches
    // the shell as API_STATUS_CODE_CHANGED.
    void checkBackendStatus();

    // The card's install controls. Pause stops the running install keeping
    // the parts it fetched; resume installs the same selection again, which
    // starts from those parts; cancel stops it for good. The card says what
    // became of each; without a card they do nothing.
    void requestPauseInstall();
    void requestResumeInstall();
    void requestCancelInstall();
    // Hands the current game's directory to the desktop's opener; false, with
    // a warning, when it is missing or the opener refused it.
    bool requestOpenInstallFolder();

    // The user quits: asks the engine to stop (or ends the drain loop at once
    // when no engine runs).
    void shutdownRequest();
    bool isShutdownPerformed() const { return m_shutdownPerformed; }

    // Null until the engine is initialized (ENGINE_INITIALIZED); a sign-in
    // with a stored token asks for the card before that.
    Poco::SharedPtr<GameViewHandler> gameViewHandler() const;
    Poco::SharedPtr<LoginPageHandler> loginPageHandler() const;

    // The shell saw the top-level page of its web view navigate to `address`,
    // or fail to load it. Only the login view's own navigation may sign in:
    // true when a sign-in with the redirect's code started.
    bool handleLoginRedirect(const std::string& address);
    // The login page could not be loaded: the card is shown instead, and the
    // login page again when the backend comes back.
    void onLoginPageLoadFailed();

    Poco::BasicEvent<Poco::EventArgs> shutdownEvent;
    Poco::BasicEvent<Poco::EventArgs> apiStatusInitializedEvent;

protected:
    // The presentation data of a game; the engine's by default.
    virtual Poco::SharedPtr<ProductPresentationData> presentationDataOf(const std::string& gameId);

private:
    void onProductSelectionChange(const void* sender, GameViewHandler::ProductSelectionChange& change);
    void onProductLaunchRequest(const void* sender, GameViewHandler::PlayTaskLaunchRequest& request);
    void onCardRequest(const void* sender, GameViewHandler::CardRequest& request);
    void verifyFromCard();
    void signOutFromCard();
    // The engine's refusal of the card's install, on the card.
    void refuseSelection(const GameViewHandler::ProductSelectionChange& change, const std::string& reason);
    void handleContinueOffline(const void* sender, Poco::EventArgs& args);
    void OnApiStatusInitialized(const void* sender, Poco::EventArgs& args);
    void onShutdownVantisClient(const void* sender, Poco::EventArgs& args);

    void createBridges(const Poco::SharedPtr<ProductPresentationData>& product, bool signedIn);
    void showViewForStatus(int32_t apiStatus, EUserLoginState loginState);
    void showWhatTheGameOffers(const std::string& gameId);
    void launchFileTask(const ProductPresentationData& product, const PlayTaskStruct& task);
    // Starts the task's program with its arguments split into words and watches it as the game.
    void launchProgram(const std::string& path, const PlayTaskStruct& task, const std::string& installPath);
    void showLoginPageAgain();
    // Runs `work` on the engine's drain thread, or at once when no engine
    // runs: a page change from the shell's main thread may resolve the card,
    // which asks the backend and would freeze the window meanwhile.
    void offMainThread(std::function<void()> work);
    // The product's name for the user: its info files', else the catalogue's,
    // else its game id; never empty.
    std::string nameOf(const ProductPresentationData& product) const;
    void rememberOfferedName(const ProductOfferStruct& offer);
    // `removedContent`: the names of the extra content a successful install removed.
    void postInstallResult(const Poco::SharedPtr<ProductPresentationData>& product, EInstallResult result,
                           const std::vector<std::string>& removedContent = {});
    void postGameClosed(const std::string& taskName, int exitStatus);
    void postUninstalled(const ProductUninstallResultStruct& result);
    // The card shows the outcome; a removed game comes back as not installed.
    void showUninstalledOnCard(const ProductUninstallResultStruct& result);
    void showSizeOnDisk();
    void performShutdown();
    APIStatusResult apiStatus() const;

    std::atomic<EUserLoginState> m_loginState{SignedOut};
    std::atomic<bool> m_shutdownPerformed{false};
    std::atomic<bool> m_signedIn{false};
    std::atomic<ViewType> m_viewToLoad{NoView};
    std::atomic<ViewType> m_currentView{NoView};
    // The card stands in for the login page only because the backend could
    // not be reached (not because the user chose to continue offline).
    std::atomic<bool> m_cardForLackOfConnection{false};
    std::atomic<bool> m_worksOffline{false};
    std::atomic<bool> m_automaticUpdatesHeld{false};

    mutable std::mutex m_mutex;
    APIStatusResult m_apiStatus;
    std::string m_currentGameId;
    std::string m_currentGameLocalPath;
    // The account signed in, which may be known before the card exists.
    std::string m_accountName;
    Poco::SharedPtr<ProductPresentationData> m_currentProduct;
    Poco::SharedPtr<GameViewHandler> m_gameViewHandler;
    Poco::SharedPtr<LoginPageHandler> m_loginPageHandler;
    // The name the backend's last offer gave its game.
    std::string m_offeredNameGameId;
    std::string m_offeredName;

    LaunchedGameWatcher m_gameWatcher;
};

}  // namespace VantisClient
