// The client side of the game card's conversation for the launched game. It
// keeps what the card shows, sends the page a layout message whenever that
// changes, and turns the page's commands into events the controller acts on:
// a selection change (an install, another language or set of extra content,
// a resume), a play-task launch, and the card's other requests (pause, cancel,
// verify, uninstall, open the folder, sign out or in). The page is not
// trusted: a selection reaches the event only when it is a set of the
// product's own game ids that keeps the base game, and a launch only while
// the game is installed, playable and idle. Whatever is refused, the page
// gets a fresh layout, so that it never shows a choice that did not happen.
//
// Thread-safety: onMessageFromBrowser, onDocumentReady, gameStarted and
// gameClosed run on the shell's main thread; the install and user-state
// callbacks, the details the controller learns and the install controls'
// outcomes on the controller's drain thread (pause, resume and cancel may also
// come from a shell's main thread). The view state, the document-ready flag
// and the stop intent are atomics; the product, the card details and the last
// selection are replaced under a lock, and every operation works on its own
// copy; the transfer rate belongs to the drain thread's progress reports. The
// events fire on the thread that called onMessageFromBrowser (or the install
// control), with no lock held.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <Poco/BasicEvent.h>
#include <Poco/JSON/Object.h>

#include "bridge/GameCardDetails.h"
#include "bridge/GameViewState.h"
#include "common/ProgressMeter.h"
#include "common/VantisMutex.h"
#include "install/EInstallResult.h"
#include "install/EInstallStatusCode.h"
#include "model/PlayTaskStruct.h"
#include "model/ProductPresentationData.h"
#include "model/tRevisionList.h"

namespace VantisClient {

class GameViewUpdateMessage;

class GameViewHandler {
public:
    struct ProductSelectionChange {
        ProductPresentationData::Ptr product;
        std::string language;
        // The game ids to install: the base game and the chosen extra content.
        tRevisionList revisions;
    };

    struct PlayTaskLaunchRequest {
        ProductPresentationData::Ptr product;
        PlayTaskStruct playTask;
    };

    // What the card asks of the controller beside installs and launches.
    enum class ECardRequest {
        // Stop the running install, keeping what it fetched.
        PauseInstall,
        // Stop the running install for good.
        CancelInstall,
        VerifyGame,
        // The page has asked the user to confirm.
        UninstallGame,
        OpenInstallFolder,
        SignOut,
        // Show the login page.
        SignIn,
    };
    struct CardRequest {
        ECardRequest request;
    };

    // The names of the extra content that `after` no longer has, in the order
    // `before` offers it.
    static std::vector<std::string> RemovedContentNames(const ProductPresentationData& before,
                                                        const ProductPresentationData& after);

    // `product` must not be null (Poco::NullPointerException otherwise).
    GameViewHandler(const ProductPresentationData::Ptr& product, bool signedIn);
    GameViewHandler(const GameViewHandler&) = delete;
    GameViewHandler& operator=(const GameViewHandler&) = delete;

    // The page has loaded and its bridge script is in place: show the card.
    void onDocumentReady();
    // One command text from the page; anything malformed ends in a log line.
    void onMessageFromBrowser(const std::string& text);
    // Sends a layout message for the current state.
    void updateGameView();

    // Install outcomes and progress of the launched game. A null product keeps
    // the one the card shows.
    void onProductInstallSuccess(const ProductPresentationData::Ptr& product);
    void onProductInstallFailed(const ProductPresentationData::Ptr& product, EInstallResult result);
    void onProductInstallAborted(const ProductPresentationData::Ptr& product);
    // `progress` runs from 0 to 1; `product` only tells the game's state.
    void handleInstallProgress(const ProductPresentationData::Ptr& product, EInstallStatusCode status, float progress,
                               uint64_t byteCount);
    void onUserStateChanged(bool signedIn);
    // A primary play task was launched / has ended.
    void gameStarted();
    void gameClosed();
    void productReloadedFromDB(const ProductPresentationData::Ptr& product);
    // The controller did not take the selection change: nothing started (an
    // install that does run marks itself again with its next progress). A
    // refused resume leaves the install paused, to be resumed again.
    void onSelectionRefused(const std::string& reason);
    // The card's install controls, also for a shell without a page. Pause and
    // cancel ask the controller to stop the running install; the abort's end
    // then shows "Paused" (with Resume) or "Installation cancelled". Resume
    // installs the last selection again.
    void pauseInstall();
    void resumeInstall();
    void cancelInstall();
    // How a card request ended, or that it started, on the state line.
    void showStateLine(const std::string& text);

    // What the card shows beside the product; each refreshes a ready card.
    void setAccountName(const std::string& name);
    void setSizeOnDisk(uint64_t bytes);
    void setOfferedSizes(const GameCardDetails::OfferedSizes& sizes);

    // The product the card shows.
    ProductPresentationData::Ptr currentProduct() const;

    // Hands the text to the shell, which calls the page's receiveMessage with it.
    void sendToBrowser(const std::string& text);

    Poco::BasicEvent<ProductSelectionChange> productSelectionChangeEvent;
    Poco::BasicEvent<PlayTaskLaunchRequest> playTaskLaunchRequestEvent;
    Poco::BasicEvent<CardRequest> cardRequestEvent;

private:
    void replaceProduct(const ProductPresentationData::Ptr& product);
    void sendMessage(GameViewUpdateMessage& message);
    // Ends the running update with `result` and shows `label`. The game stays
    // unplayable when `product` (the engine's) says its files are not whole,
    // or, without it, when it was unplayable before.
    void finishUpdate(EInstallResult result, const ProductPresentationData::Ptr& product, const std::string& label);
    // A fresh layout that says why the page's request did nothing.
    void showRefusal(const std::string& text);
    void refreshIfReady();

    void launchPrimaryPlayTask(const ProductPresentationData::Ptr& product);
    void launchPlayTask(const Poco::JSON::Object::Ptr& arguments, const ProductPresentationData::Ptr& product);
    void requestLaunch(const ProductPresentationData::Ptr& product, const PlayTaskStruct& task);

    void changeLanguage(const Poco::JSON::Object::Ptr& arguments, const ProductPresentationData::Ptr& product);
    void changeRevisions(const Poco::JSON::Object::Ptr& arguments, const ProductPresentationData::Ptr& product);
    void install(const Poco::JSON::Object::Ptr& arguments, const ProductPresentationData::Ptr& product);
    // Shows the change in progress and fires it; null, or why it was refused.
    const char* requestSelectionChange(const ProductPresentationData::Ptr& product, const std::string& language,
                                       const tRevisionList& revisions);
    // A refused change shows why; an accepted one has shown itself.
    void showSelectionOutcome(const char* refusal);

    // Verify, uninstall and open the folder need an installed, idle game.
    void requestForInstalledGame(ECardRequest request, const ProductPresentationData::Ptr& product);
    void fireCardRequest(ECardRequest request);

    // Why the running install is being stopped: the abort's end says so.
    enum class EStopIntent { None, Pause, Cancel };

    mutable VantisMutex m_productMutex;
    ProductPresentationData::Ptr m_product;
    GameCardDetails m_details;
    // The last selection sent to the controller: what a resume installs.
    std::string m_lastLanguage;
    tRevisionList m_lastRevisions;
    GameViewState m_viewState;
    std::atomic<bool> m_documentReady{false};
    std::atomic<EStopIntent> m_stopIntent{EStopIntent::None};
    // A resume is being handed to the controller.
    std::atomic<bool> m_resuming{false};
    // Only the drain thread's progress reports touch it.
    ProgressMeter m_meter;
};

}  // namespace VantisClient
