// The client side of the game card's conversation for the launched game. It
// keeps what the card shows, sends the page a layout message whenever that
// changes, and turns the page's commands into two events the controller acts
// on: a selection change (another language or set of extra content) and a
// play-task launch. The page is not trusted: a selection reaches the event
// only when it is a set of the product's own game ids that keeps the base
// game, and a launch only while the game is installed, playable and idle.
//
// Thread-safety: onMessageFromBrowser, onDocumentReady, gameStarted and
// gameClosed run on the shell's main thread; the install and user-state
// callbacks on the controller's drain thread. The view state and the
// document-ready flag are atomics; the product is replaced under a lock and
// every operation works on its own reference to it. Both events fire on the
// thread that called onMessageFromBrowser, with no lock held.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <Poco/BasicEvent.h>
#include <Poco/JSON/Object.h>

#include "bridge/GameViewState.h"
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

    // The product the card shows.
    ProductPresentationData::Ptr currentProduct() const;

    // Hands the text to the shell, which calls the page's receiveMessage with it.
    void sendToBrowser(const std::string& text);

    Poco::BasicEvent<ProductSelectionChange> productSelectionChangeEvent;
    Poco::BasicEvent<PlayTaskLaunchRequest> playTaskLaunchRequestEvent;

private:
    void replaceProduct(const ProductPresentationData::Ptr& product);
    void sendMessage(GameViewUpdateMessage& message);
    // Ends the running update with `result` and shows the result's text.
    void finishUpdate(EInstallResult result);

    void launchPrimaryPlayTask(const ProductPresentationData::Ptr& product);
    void launchPlayTask(const Poco::JSON::Object::Ptr& arguments, const ProductPresentationData::Ptr& product);
    void requestLaunch(const ProductPresentationData::Ptr& product, const PlayTaskStruct& task);
    // Why the state forbids launching `task` now; null when nothing does.
    const char* launchRefusal(const PlayTaskStruct& task) const;

    void changeLanguage(const Poco::JSON::Object::Ptr& arguments, const ProductPresentationData::Ptr& product);
    void changeRevisions(const Poco::JSON::Object::Ptr& arguments, const ProductPresentationData::Ptr& product);
    void requestSelectionChange(const ProductPresentationData::Ptr& product, const std::string& language,
                                const tRevisionList& revisions);

    mutable VantisMutex m_productMutex;
    ProductPresentationData::Ptr m_product;
    GameViewState m_viewState;
    std::atomic<bool> m_documentReady{false};
};

}  // namespace VantisClient
