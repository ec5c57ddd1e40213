// One "UpdateLayout" message for the game card: title, further play tasks,
// play button, language and extra-content selectors, and, when asked for, the
// install progress and the state line. The text is the JSON message builder's,
// fixed to the byte, so the page's script can rely on it.
// Thread-safety: a message belongs to the thread that builds it; the product
// and the view state it reads must outlive it.
#pragma once

#include <cstdint>
#include <string>

#include "bridge/GameCardDetails.h"
#include "bridge/GameViewState.h"
#include "common/JsonMessageBuilder.h"
#include "install/EInstallStatusCode.h"
#include "model/ProductPresentationData.h"

namespace VantisClient {

// The one game whose card never shows the language and extra-content selectors.
extern const char* const SELECTORS_HIDDEN_GAME_ID;

// An install of the game has completed once: it has a selection. The card
// offers Install until then, and refuses to play.
bool IsGameInstalled(const ProductPresentationData& product);

class GameViewUpdateMessage {
public:
    // Title, MoreOptions, MainButton, Languages, DLCs and InstallControls are
    // filled in at once. MainButton's "Action" is "Install" for a game not
    // installed, else "Play"; "Reason" says why it is disabled.
    GameViewUpdateMessage(const ProductPresentationData& product, const GameViewState& viewState);
    GameViewUpdateMessage(const GameViewUpdateMessage&) = delete;
    GameViewUpdateMessage& operator=(const GameViewUpdateMessage&) = delete;

    // The progress bar for one progress report; `progress` runs from 0 to 1.
    // A game with nothing installed yet is "Installing", any other "Updating".
    void updateInstallProgress(EInstallStatusCode status, float progress, uint64_t byteCount);
    // Bytes done and total, speed and seconds left on the progress added
    // above; 0 speed or seconds left means not known yet.
    void addTransferFigures(uint64_t bytesDone, uint64_t bytesTotal, uint64_t bytesPerSecond);
    // "Details": description, install folder, size on disk, the account, and
    // what each game id would download in each language.
    void addCardDetails(const GameCardDetails& details);
    // Does nothing when the message already has a state line: the first label wins.
    void updateGameStateLabel(const std::string& label, bool visible);
    // Completes the state line from the view state unless a label or the
    // progress bar was added, and returns the text to send. A game with
    // nothing installed is "Not installed", never "Up to date".
    std::string extractJSMessage();

private:
    void updateTitle();
    void updateMoreOptions();
    void updateMainButton();
    void updateLanguages();
    void updateDLCs();
    void updateInstallControls();
    // The Install button of a game not installed: enabled while signed in and idle.
    void updateInstallButton();
    void updateGameStateLabelFromViewState();
    bool selectorsVisible(size_t choices) const;
    bool selectorsEnabled() const;
    // An install of the game has completed once: it has a selection.
    bool installed() const { return IsGameInstalled(m_product); }

    JsonMessageBuilder m_builder;
    JsonMessageBuilder::JsonObject& m_arguments;
    // The progress added by updateInstallProgress; the message owns it.
    JsonMessageBuilder::JsonObject* m_progress = nullptr;
    const ProductPresentationData& m_product;
    const GameViewState& m_viewState;
};

}  // namespace VantisClient
