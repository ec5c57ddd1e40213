// What the game card shows about the launched game beside the product itself:
// whether the user is signed in, an install or update is running, the game is
// running or unplayable, whether the user paused an install, and how the last
// install ended. It also holds the one rule that decides both the play
// button and every launch, so that the two cannot disagree.
// Thread-safety: every operation may run on any thread. The shell's main
// thread (page commands, game started and closed) and the controller's drain
// thread (install and user-state callbacks) both write the flags, so each is
// an atomic; a reader sees each flag current, not all of them as one snapshot.
#pragma once

#include <atomic>
#include <cstdint>

#include "install/EInstallResult.h"

namespace VantisClient {

class GameViewState {
public:
    explicit GameViewState(bool signedIn);

    void gameStarted();
    void gameClosed();

    void updateInProgress();
    bool isUpdateInProgress() const;
    // The change asked for never reached the engine: nothing is in progress.
    void updateNotStarted();

    void gameUnplayable();
    void gamePlayable();
    bool isUnplayable() const;

    // The install or update has ended with `result`: the game is playable again
    // and the result is kept for the state line.
    void updateComplete(EInstallResult result);
    // False, leaving `result` alone, until the first updateComplete().
    bool getLastInstallResult(EInstallResult& result) const;

    bool isUserSignedIn() const;
    void onUserStateChanged(bool signedIn);

    bool isPlayButtonEnabled() const;

    // The user paused the running install; the parts it fetched are kept for
    // the resume. Cleared by a resume, a cancel or a new install.
    void installPaused();
    void installResumed();
    bool isInstallPaused() const;

    // Why a play task cannot be launched now, as the card shows it; null when
    // it can. `primaryTask`: the task starts the game itself, of which only one
    // copy may run.
    const char* launchRefusal(bool gameInstalled, bool primaryTask) const;

private:
    std::atomic<bool> m_signedIn;
    std::atomic<bool> m_updateInProgress{false};
    std::atomic<bool> m_gameRunning{false};
    std::atomic<bool> m_unplayable{false};
    std::atomic<bool> m_paused{false};
    std::atomic<int32_t> m_lastInstallResult{0};
    // Set after m_lastInstallResult, so a reader that sees it also sees the result.
    std::atomic<bool> m_hasLastInstallResult{false};
};

}  // namespace VantisClient
