// What the game card shows about the launched game beside the product itself:
// whether the user is signed in, an install or update is running, the game is
// running or unplayable, and how the last install ended.
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

private:
    std::atomic<bool> m_signedIn;
    std::atomic<bool> m_updateInProgress{false};
    std::atomic<bool> m_gameRunning{false};
    std::atomic<bool> m_unplayable{false};
    std::atomic<int32_t> m_lastInstallResult{0};
    // Set after m_lastInstallResult, so a reader that sees it also sees the result.
    std::atomic<bool> m_hasLastInstallResult{false};
};

}  // namespace VantisClient
