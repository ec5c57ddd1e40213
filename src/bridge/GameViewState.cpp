#include "bridge/GameViewState.h"

namespace VantisClient {

GameViewState::GameViewState(bool signedIn) : m_signedIn(signedIn) {}

void GameViewState::gameStarted() { m_gameRunning = true; }

void GameViewState::gameClosed() { m_gameRunning = false; }

void GameViewState::updateInProgress() {
    m_updateInProgress = true;
    m_paused = false;
}

bool GameViewState::isUpdateInProgress() const { return m_updateInProgress; }

void GameViewState::updateNotStarted() { m_updateInProgress = false; }

void GameViewState::gameUnplayable() { m_unplayable = true; }

void GameViewState::gamePlayable() { m_unplayable = false; }

bool GameViewState::isUnplayable() const { return m_unplayable; }

void GameViewState::updateComplete(EInstallResult result) {
    m_updateInProgress = false;
    m_unplayable = false;
    m_lastInstallResult = static_cast<int32_t>(result);
    m_hasLastInstallResult = true;
}

bool GameViewState::getLastInstallResult(EInstallResult& result) const {
    if (!m_hasLastInstallResult) return false;
    result = static_cast<EInstallResult>(m_lastInstallResult.load());
    return true;
}

bool GameViewState::isUserSignedIn() const { return m_signedIn; }

void GameViewState::onUserStateChanged(bool signedIn) { m_signedIn = signedIn; }

bool GameViewState::isPlayButtonEnabled() const { return !m_unplayable && !m_gameRunning; }

void GameViewState::installPaused() { m_paused = true; }

void GameViewState::installResumed() { m_paused = false; }

bool GameViewState::isInstallPaused() const { return m_paused; }

const char* GameViewState::launchRefusal(bool gameInstalled, bool primaryTask) const {
    if (!gameInstalled) return "the game is not installed";
    if (m_updateInProgress) return "an update is in progress";
    if (m_unplayable) return "the game is unplayable";
    // A second copy of the game would fight the first over its files.
    if (primaryTask && m_gameRunning) return "the game is running";
    return nullptr;
}

}  // namespace VantisClient
